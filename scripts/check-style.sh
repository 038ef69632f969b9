#!/usr/bin/env bash
# Checks the sources against .clang-format and .clang-tidy.
#   scripts/check-style.sh [build dir with compile_commands.json]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
mapfile -t units < <(git ls-files 'src/*.cpp' | grep -v platform_win32)
if ! report=$(clang-tidy -p "$build" --quiet "${units[@]}" 2>&1); then
  grep -v "warnings generated" <<<"$report" >&2
  exit 1
fi
echo "style: clean"
