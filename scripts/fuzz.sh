#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan on every object) in
# build/fuzz, replays their seeds and kept crash inputs, then fuzzes each target in
# turn for the given number of seconds (default 60). Prints libFuzzer's closing
# statistics per target and fails when any target crashes or reports.
# Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

# clang, and libFuzzer with the sanitizer runtimes of that clang.
clang_version() { clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n1; }
scripts/setup.sh clang
scripts/setup.sh "libclang-rt-$(clang_version)-dev"

# Warnings are errors only for the g++ and mingw-w64 builds; clang sees other ones.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DWINMARLO_FUZZ=ON -DWINMARLO_TESTS=OFF -DWINMARLO_WERROR=OFF >/dev/null
cmake --build build/fuzz

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "=== fuzz: replaying seeds and kept crash inputs ==="
ctest --test-dir build/fuzz --output-on-failure

failed=()
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  work=build/fuzz/work/$name
  mkdir -p "$work"
  log=build/fuzz/work/$name.log
  # New inputs go to the work folder; crash inputs to build/fuzz/work/<name>-crash-*.
  if "$target" -max_total_time="$seconds" -close_fd_mask=1 -print_final_stats=1 -rss_limit_mb=1024 \
       -artifact_prefix="build/fuzz/work/$name-" "$work" "build/fuzz/fuzz/corpus/$name" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    failed+=("$name")
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  time=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\2/p' "$log" | tail -n1)
  printf '%-16s %s  %s runs in %s s\n' "$name" "$result" "${runs:-?}" "${time:-?}"
  grep -m1 '^#[0-9]*[[:space:]]*DONE' "$log" || true
  if [ "$result" = FAILED ]; then
    grep -m1 -A30 'ERROR: \|runtime error:\|deadly signal' "$log" || tail -n 30 "$log"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}"
  exit 1
fi
