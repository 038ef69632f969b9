#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program
# on the example model: the outputs must match the checked-in ones.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/vantorell"
test -f "$work/prefix/share/man/man1/vantorell.1"

mkdir "$work/run"
cp "$source_dir"/examples/basin.* "$work/run/"
cd "$work/run"
"$work/prefix/bin/vantorell" < "$source_dir/examples/month-to-table-attributes.answers" > stdout
cmp stdout "$source_dir/examples/expected/month-to-table-attributes.stdout"
cmp out-month-attributes.txt "$source_dir/examples/expected/month-to-table-attributes.txt"
cmp Vantorell.log "$source_dir/examples/expected/month-to-table-attributes.log"
echo "installed program reproduces the example"
