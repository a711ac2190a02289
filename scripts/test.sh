#!/usr/bin/env bash
# Builds and runs the whole test suite three ways: native Linux, native Linux with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows build under Wine.
# Warnings are errors in all three.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

run_suite() { # name, then cmake arguments
  local name=$1; shift
  local started=$SECONDS
  echo "=== $name ==="
  cmake -S . -B "build/$name" -G Ninja -DWINMARLO_WERROR=ON "$@" >/dev/null
  cmake --build "build/$name"
  ctest --test-dir "build/$name" --output-on-failure --timeout "${CTEST_TIMEOUT:-600}" ${CTEST_EXTRA:-}
  echo "=== $name: $((SECONDS - started)) s, build and tests ==="
}

run_suite linux -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite asan -DCMAKE_BUILD_TYPE=Debug -DWINMARLO_SANITIZE=ON

# Windows: one wineserver for the whole run, stopped when the tests end.
source scripts/wine_session.sh
start_wine_session
# A Wine process can stall while the fresh prefix starts its services; such a test
# program is stopped by the time-out and run once more.
CTEST_TIMEOUT=300 CTEST_EXTRA="--repeat until-pass:2" \
  run_suite windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

# The packages of the native and the Windows build, and what they hold.
started=$SECONDS
scripts/check_packages.sh
echo "=== packages: $((SECONDS - started)) s ==="

# Fuzzing: every libFuzzer target for a bounded time (10 s each, after its seeds and
# kept inputs are replayed), after the three suites; scripts/fuzz.sh with more seconds
# fuzzes longer.
started=$SECONDS
scripts/fuzz.sh 10
echo "=== fuzz: $((SECONDS - started)) s; whole run: $SECONDS s ==="
