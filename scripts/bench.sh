#!/usr/bin/env bash
# Builds the benchmarks in Release (build/bench) and runs them: the Google Benchmark
# programs of the hot paths, then the side-by-side comparisons with their ratios and
# the large downloads' peak memory. At the end it writes the figures, with the date,
# the commit and the machine, into doc/performance.md (scripts/bench_table.py); the
# raw results stay in build/bench/bench-run/results.
# Timings are noisy on a busy machine: the comparisons alternate their two commands
# and print the spread of the per-round ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWINMARLO_TESTS=OFF \
      -DWINMARLO_BENCH=ON >/dev/null
cmake --build build/bench
b="$PWD/build/bench"
work="$b/bench-run"
rm -rf "$work"
mkdir -p "$work"
results="$work/results"
mkdir -p "$results"
export DFCSIM_BOARDS="$work/no-boards.json" # -e needs no boards
unset DFCSIM_JOURNAL
cut -d' ' -f1-3 /proc/loadavg >"$results/load-start.txt"

# A Google Benchmark program: its table on the terminal, its figures in results/.
gbench() {
    "$b/bench/$1" --benchmark_out="$results/$1.json" --benchmark_out_format=json
}
# A side-by-side comparison: its lines on the terminal and in results/.
compare() {
    local mode=$1
    shift
    "$b/bench/bench_compare" "$mode" "$@" | tee "$results/compare-$mode.txt"
}

echo "=== image, version forms"
gbench bench_image
echo "=== configuration and soft VPD files"
gbench bench_catalog
echo "=== mailbox layer and simulator per-call cost"
gbench bench_mailbox
echo "=== downloads: library calls against the protocol's minimum, CPU per MiB"
gbench bench_download

echo "=== winmarlo -e on a 64 MiB ALL file against cat (warm cache)"
"$b/winmarlo-mkimage" all "$work/big.all" awc:0x01020304:32 dwc:0x07E12894:16777216 \
    bwc:0x03E750F3:16777216 fwc:0x07E12894:33554000
cat "$work/big.all" >/dev/null
compare image "$b/winmarlo" "$work/big.all" 21
echo "=== inventory of 256 simulated boards against 64"
compare inventory "$b/winmarlo" "$b/demo-package" "$work" 11
echo "=== forced updates downloading a 64 MiB ALL and a 64 MiB GRP file: peak memory, cost per MiB"
compare flash "$b/winmarlo" "$b/winmarlo-mkimage" "$b/demo-package" "$work" 3
echo "=== the demo update under the simulator's timing model against the time it models"
compare timing "$b/winmarlo" "$b/demo-package" "$work" 3

cut -d' ' -f1-3 /proc/loadavg >"$results/load-end.txt"
python3 scripts/bench_table.py "$results" doc/performance.md
