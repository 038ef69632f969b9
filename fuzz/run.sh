#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds,
# starting from the seed corpora in fuzz/corpus/<target>/ (and the dictionary
# fuzz/<target>.dict where there is one).
#
#   fuzz/run.sh SECONDS [TARGET...]
#
# Targets: free_form whole_line format_read binary_record double_field (all
# when none is named). New corpus entries go to $BUILD/corpus/<target>/ (the
# seeds in the repository stay as they are), findings to $BUILD/artifacts/.
# BUILD defaults to build-fuzz in the repository root. Exits non-zero when a
# target reports a finding.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:?usage: fuzz/run.sh SECONDS [TARGET...]}"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(free_form whole_line format_read binary_record double_field)
build="${BUILD:-$root/build-fuzz}"

# clang++ with the libFuzzer runtime; installed from Debian's packages when missing.
have_libfuzzer() {
  local probe
  probe="$(mktemp -d)"
  printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' >"$probe/p.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1
  local rc=$?
  rm -rf "$probe"
  return $rc
}
if ! command -v clang++ >/dev/null 2>&1 || ! have_libfuzzer; then
  echo "fuzz: installing clang and its sanitizer runtimes"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTORELL_FUZZ=ON -DVANTORELL_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j2 >/dev/null

mkdir -p "$build/artifacts"
summary=()
failed=0
for t in "${targets[@]}"; do
  exe="$build/fuzz/${t}_fuzz"
  [ -x "$exe" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  mkdir -p "$build/corpus/$t"
  log="$build/artifacts/$t.log"
  echo "fuzz: $t for ${seconds}s"
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  rc=0
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "$root/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)"
  runs="$(sed -n 's/^stat::number_of_executed_units: //p' "$log" | tail -1)"
  if [ "$rc" -ne 0 ]; then
    failed=1
    echo "fuzz: $t FOUND A FAULT (exit $rc); log: $log"
    grep -E -A40 'ERROR|runtime error|differ|terminate|abort|SUMMARY' "$log" | head -60 || tail -40 "$log"
    summary+=("$t: FAULT, see $log")
  else
    summary+=("$t: ${runs:-?} executions, ${done_line#*DONE   }")
  fi
done
echo "fuzz: summary"
printf '  %s\n' "${summary[@]}"
exit $failed
