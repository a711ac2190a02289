#!/usr/bin/env bash
# Builds the benchmarks in Release (build/bench) and runs them: the Google Benchmark
# programs of the hot paths, then the side-by-side comparisons with their ratios and
# the large downloads' peak memory.
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
export DFCSIM_BOARDS="$work/no-boards.json" # -e needs no boards
unset DFCSIM_JOURNAL

echo "=== image, version forms"
"$b/bench/bench_image"
echo "=== configuration and soft VPD files"
"$b/bench/bench_catalog"
echo "=== mailbox layer and simulator per-call cost"
"$b/bench/bench_mailbox"
echo "=== downloads: library calls against the protocol's minimum, CPU per MiB"
"$b/bench/bench_download"

echo "=== winmarlo -e on a 64 MiB ALL file against cat (warm cache)"
"$b/winmarlo-mkimage" all "$work/big.all" awc:0x01020304:32 dwc:0x07E12894:16777216 \
    bwc:0x03E750F3:16777216 fwc:0x07E12894:33554000
cat "$work/big.all" >/dev/null
"$b/bench/bench_compare" image "$b/winmarlo" "$work/big.all" 21
echo "=== inventory of 256 simulated boards against 64"
"$b/bench/bench_compare" inventory "$b/winmarlo" "$b/demo-package" "$work" 11
echo "=== forced updates downloading a 64 MiB ALL and a 64 MiB GRP file: peak memory, cost per MiB"
"$b/bench/bench_compare" flash "$b/winmarlo" "$b/winmarlo-mkimage" "$b/demo-package" "$work" 3
echo "=== the demo update under the simulator's timing model against the time it models"
"$b/bench/bench_compare" timing "$b/winmarlo" "$b/demo-package" "$work" 3
