#!/usr/bin/env bash
# Builds the program and runs its main job in build/demo-run against the bundled
# simulated adapters and the demo package: the help text, the version, and an
# inventory written to inventory.xml (also shown here) with its debug log. The exit
# status of the inventory is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux
program="$PWD/build/linux/winmarlo"

# A fresh copy of the demo boards and package for every run: the simulated adapter
# library writes back what the boards keep.
rm -rf build/demo-run
cp -r build/linux/demo-package build/demo-run
export DFCSIM_BOARDS="$PWD/build/demo-run/boards.json"
# The soft VPD files go under the run folder instead of the system's program-files one.
export ProgramFiles="$PWD/build/demo-run/programfiles"
cd build/demo-run

echo "--- winmarlo -h"
"$program" -h
echo "--- winmarlo -v"
"$program" -v
# Relative directory names: a path containing "/c" would turn off model names from the
# adapter VPD (a legacy switch found anywhere in the command line).
echo "--- winmarlo -inv -o -s -g -c config -p common"
status=0
"$program" -inv -o -s -g -c config -p common || status=$?
echo "--- exit status: $status (documents and debug.log in $PWD)"
