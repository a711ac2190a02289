#!/usr/bin/env bash
# Builds the program and runs its main job in build/demo-run: the help text, the
# version, and an inventory written to inventory.xml (also shown here) with its debug
# log. The exit status of the inventory is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux
program="$PWD/build/linux/winmarlo"
mkdir -p build/demo-run
# The simulated adapter library serves the demo boards from a copy, since it writes
# back what the boards keep.
cp demo/boards.json build/demo-run/boards.json
export DFCSIM_BOARDS="$PWD/build/demo-run/boards.json"
cd build/demo-run

echo "--- winmarlo -h"
"$program" -h
echo "--- winmarlo -v"
"$program" -v
echo "--- winmarlo -inv -o -s -g"
status=0
"$program" -inv -o -s -g || status=$?
echo "--- exit status: $status (documents and debug.log in $PWD)"
