#!/usr/bin/env bash
# Builds the program and runs its main job in build/demo-run against the bundled
# simulated adapters and the demo package: the help text, the version, an inventory,
# an update (-u) that downloads to every supported adapter, the same update again
# (nothing left to do), and a last inventory that shows the new versions. Each run's
# exit status is printed, and at the end what the update changed.
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
run() {
    echo "--- winmarlo $*"
    local status=0
    "$program" "$@" || status=$?
    echo "--- exit status: $status"
}
# The installed versions of every inventoried adapter, one line each.
versions() {
    grep -o 'componentType="[A-Z]*" version="[^"]*" tav[A-Za-z]*="[^"]*"' inventory.xml
}

run -inv -o -s -g -c config -p common
versions >versions-before.txt
run -u -o -s -g -c config -p common
cp execution.xml execution-first.xml
run -u -o -g -c config -p common
echo "--- messages of the second update (execution.xml):"
grep -o '<Message id="[0-9]*">[^<]*' execution.xml | sed 's/<Message //'
run -inv -o -g -c config -p common
versions >versions-after.txt

echo "--- what the update changed (before | after: family ID and version of each component):"
paste -d'|' versions-before.txt versions-after.txt | sed 's/|/  |  /'
echo "--- soft VPD file ($ProgramFiles/Tavrel/marlo/tavCNAFID.cfg):"
cat "$ProgramFiles/Tavrel/marlo/tavCNAFID.cfg"
if [ -f common/UpdRollBack.ran ]; then
    echo "--- the rollback companion ran (common/UpdRollBack.ran)"
else
    echo "--- the rollback companion did not run"
fi
echo "--- documents and debug.log in $PWD (execution-first.xml: the first update)"
