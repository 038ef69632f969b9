#!/usr/bin/env bash
# End-to-end benchmark at scale: builds the program and the benchmark tools,
# writes a 1,000 x 1,000 model with 120 and 240 monthly pairs into a scratch
# directory, times the figures T1 to T4 against their references, checks peak
# memory (M), runs the micro-benchmarks, prints a table and removes the
# scratch directory.
#
#   bench/run_scale.sh [build directory] [runs]
#
# Defaults: build-bench next to this script's project, 7 runs per figure
# (the median is shown; one warm-up run is not counted). Needs about 3.2 GB
# of free space under ${TMPDIR:-/tmp}.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
runs="${2:-7}"
rows=1000
cols=1000

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTORELL_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target vantorell make_scale_model measure_runs vantorell_microbench >/dev/null

prog="$build/vantorell"
measure="$build/bench/measure_runs"

scratch_parent="${TMPDIR:-/tmp}"
df -h "$scratch_parent"
need_kib=$((3300 * 1024))
free_kib=$(df -Pk "$scratch_parent" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "run_scale.sh: not enough room under $scratch_parent (need about 3.2 GB)" >&2
  exit 1
fi
work="$(mktemp -d "$scratch_parent/vantorell-scale.XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "Writing the model into $work ..."
"$build/bench/make_scale_model" "$work" "$rows" "$cols" 120 240
sync  # no write-back of the new files while the figures are taken
cd "$work"

# The dialogues. Years 1991-2000 hold 120 months, 1981-2000 hold 240; the
# last month is December 2000 in both.
printf '%s\n' model.dis heads-120.hds "1991 2000" out-120.hds U y "12 2000" >t1-120.answers
printf '%s\n' model.dis heads-240.hds "1981 2000" out-240.hds U y "12 2000" >t1-240.answers
printf '%s\n' model.dis heads-120.hds "1991 2000" table.txt D D grid.csv y "12 2000" >t2.answers
printf '%s\n' model.dis heads-120.hds "1991 2000" none.txt D D grid.csv n >t3.answers
printf '%s\n' model.dis heads-120.hds "1991 2000" none.txt D A ibound.txt "(20I4)" n >t4.answers

# measure <name> <stdin> <command...>: median wall time, peak RSS and median
# CPU time (user + system) of the runs
declare -A median rss cpu
measure() {
  local name="$1" input="$2"
  shift 2
  local result
  result="$("$measure" "$runs" "$input" /dev/null -- "$@")"
  read -r m _ _ r status c <<<"$result"
  if [ "$status" != 0 ]; then
    echo "run_scale.sh: $name ended with status $status" >&2
    exit 1
  fi
  median[$name]="$m"
  rss[$name]="$r"
  cpu[$name]="$c"
  printf '  %-10s median %9.2f ms  (min %s, max %s ms over %s runs)  CPU %9.2f ms  peak RSS %s KiB\n' "$name" \
    "$m" "$(cut -d' ' -f2 <<<"$result")" "$(cut -d' ' -f3 <<<"$result")" "$runs" "$c" "$r"
}

echo "Measuring ($(nproc) cores, $runs runs each, median; $(uptime | sed 's/.*load/load/')) ..."
measure t1-120 t1-120.answers "$prog"
measure t1-240 t1-240.answers "$prog"
measure cat-hds /dev/null cat heads-120.hds
measure t2 t2.answers "$prog"
measure cat-table /dev/null cat table.txt
measure cat-grid /dev/null cat grid.csv
measure t3 t3.answers "$prog"
measure wc-grid /dev/null wc -l grid.csv
measure t4 t4.answers "$prog"
measure wc-ibound /dev/null wc -l ibound.txt

# The outputs must be what the runs were asked for: the last pair of each
# heads file, byte for byte, and one table line per cell.
for pairs in 120 240; do
  skip=$(($(stat -c %s heads-$pairs.hds) - $(stat -c %s out-$pairs.hds)))
  cmp -s -i "$skip:0" heads-$pairs.hds out-$pairs.hds ||
    { echo "run_scale.sh: out-$pairs.hds is not the last pair of heads-$pairs.hds" >&2; exit 1; }
done
lines=$(wc -l <table.txt)
[ "$lines" -eq $((rows * cols + 1)) ] || { echo "run_scale.sh: table has $lines lines" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "met" : "MISSED") }'; }
cells=$((rows * cols))
bound_u=$(((8 * cells + 32 * 1024 * 1024) / 1024))
bound_d=$(((16 * cells + 32 * 1024 * 1024) / 1024))
ref_t2=$(awk -v a="${median[cat-table]}" -v b="${median[cat-grid]}" 'BEGIN { printf "%.2f", a + b }')

r1=$(ratio "${median[t1-120]}" "${median[cat-hds]}")
r1b=$(ratio "${median[t1-240]}" "${median[t1-120]}")
r2=$(ratio "${median[t2]}" "$ref_t2")
r3=$(ratio "${median[t3]}" "${median[wc-grid]}")
r4=$(ratio "${median[t4]}" "${median[wc-ibound]}")
cpu_t2=$(awk -v a="${cpu[cat-table]}" -v b="${cpu[cat-grid]}" 'BEGIN { printf "%.2f", a + b }')
c1=$(ratio "${cpu[t1-120]}" "${cpu[cat-hds]}")
c1b=$(ratio "${cpu[t1-240]}" "${cpu[t1-120]}")
c2=$(ratio "${cpu[t2]}" "$cpu_t2")
c3=$(ratio "${cpu[t3]}" "${cpu[wc-grid]}")
c4=$(ratio "${cpu[t4]}" "${cpu[wc-ibound]}")
rm1=$(ratio "${rss[t1-240]}" "$bound_u")
rm2=$(ratio "${rss[t2]}" "$bound_d")

echo
echo "Times are medians of wall time; the verdict is on the wall-time ratio. The CPU ratio (user + system"
echo "time) is shown beside it, being less disturbed by other work on the machine."
row() { printf '%-4s %-40s %12s %12s %8s %9s %7s %s\n' "$@"; }
row Fig What program reference ratio "CPU ratio" target verdict
row T1 "last of 120 months, binary / cat heads" "${median[t1-120]} ms" "${median[cat-hds]} ms" "$r1" "$c1" 0.1 \
  "$(verdict "$r1" 0.1)"
row T1 "last of 240 months / last of 120" "${median[t1-240]} ms" "${median[t1-120]} ms" "$r1b" "$c1b" 1.2 \
  "$(verdict "$r1b" 1.2)"
row T2 "table / cat table + cat attributes" "${median[t2]} ms" "$ref_t2 ms" "$r2" "$c2" 8 "$(verdict "$r2" 8)"
row T3 "1,000,000 attributes / wc -l" "${median[t3]} ms" "${median[wc-grid]} ms" "$r3" "$c3" 15 \
  "$(verdict "$r3" 15)"
row T4 "1,000 x 1,000 ibound (20I4) / wc -l" "${median[t4]} ms" "${median[wc-ibound]} ms" "$r4" "$c4" 15 \
  "$(verdict "$r4" 15)"
row M "peak RSS, binary run (240 months)" "${rss[t1-240]} KiB" "$bound_u KiB" "$rm1" - 1 "$(verdict "$rm1" 1)"
row M "peak RSS, table run" "${rss[t2]} KiB" "$bound_d KiB" "$rm2" - 1 "$(verdict "$rm2" 1)"
echo "Load after the runs: $(uptime | sed 's/.*load/load/')"
echo "     (peak RSS of the 120-month binary run: ${rss[t1-120]} KiB; of T3: ${rss[t3]} KiB; of T4: ${rss[t4]} KiB)"

echo
echo "Micro-benchmarks (median of 5 repetitions):"
"$build/bench/vantorell_microbench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter='.' 2>/dev/null | grep -E '_median|^Benchmark|^-' || true
