#!/usr/bin/env bash
# Builds the program and runs its main job in build/demo-run against the bundled
# simulated adapters and the demo package: the help text, the version, an inventory,
# an update (-u) that downloads to every supported adapter, the same update again
# (nothing left to do), and a last inventory that shows the new versions. Each run's
# exit status is printed, and at the end what the update changed and the demo's own
# timing summary (also kept in timing-summary.txt in the run folder): where the first
# update's time went by the boards' timing model, how long it and the whole demo took
# on this machine, and what the simulator keeps on disk after it.
#
# scripts/demo.sh windows: the same with the Windows build (build/windows, mingw-w64)
# under Wine, in build/demo-run-windows: winmarlo.exe, libdfc.dll and the rollback
# companion UpdRollBack.exe built for Windows, the payload files and boards from the
# native build's demo package (the image writer runs on the build machine).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-linux}
if [ "$target" != linux ] && [ "$target" != windows ]; then
    echo "usage: scripts/demo.sh [windows]" >&2
    exit 1
fi
scripts/setup.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "$target" = linux ]; then
    cmake --build build/linux
    program=("$PWD/build/linux/winmarlo")
    run_dir=build/demo-run
else
    # The native build only for the demo package; the program, the simulated library and
    # the companion from the Windows build.
    cmake --build build/linux --target demo_package
    cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/windows --target winmarlo dfcsim rollback_companion
    program=(wine "$PWD/build/windows/winmarlo.exe")
    run_dir=build/demo-run-windows
fi

# A fresh copy of the demo boards and package for every run: the simulated adapter
# library writes back what the boards keep.
rm -rf "$run_dir"
cp -r build/linux/demo-package "$run_dir"
if [ "$target" = linux ]; then
    export DFCSIM_BOARDS="$PWD/$run_dir/boards.json"
    # The soft VPD files go under the run folder instead of the system's program-files one.
    export ProgramFiles="$PWD/$run_dir/programfiles"
    marlo="$ProgramFiles/Tavrel/marlo"
else
    # The package carries the companion built for Windows, which the program starts.
    cp build/windows/UpdRollBack.exe "$run_dir/common/UpdRollBack.exe"
    if [ "$(head -c 2 "$run_dir/common/UpdRollBack.exe")" != MZ ]; then
        echo "build/windows/UpdRollBack.exe is not a Windows program" >&2
        exit 1
    fi
    # One wineserver for all the runs, stopped at the end.
    source scripts/wine_session.sh
    start_wine_session
    # The program sees Windows paths: Wine's drive Z: is the Unix root.
    DFCSIM_BOARDS="Z:$(echo "$PWD/$run_dir/boards.json" | tr / '\\')"
    export DFCSIM_BOARDS
    # Under Wine the program-files folder is Wine's own ("C:\Program Files", inside the
    # prefix), whatever the environment says; the demo starts without soft VPD files.
    marlo="$WINEPREFIX/drive_c/Program Files/Tavrel/marlo"
    rm -rf "$marlo" "$WINEPREFIX/drive_c/Program Files (x86)/Tavrel/marlo"
fi
cd "$run_dir"
demo_started=$(date +%s.%N)

echo "--- the package's payload files (bytes):"
for f in common/*; do
    printf '  %10d  %s\n' "$(stat -c %s "$f")" "${f#common/}"
done
echo "--- winmarlo -h"
"${program[@]}" -h
echo "--- winmarlo -v"
"${program[@]}" -v
# Relative directory names: a path containing "/c" would turn off model names from the
# adapter VPD (a legacy switch found anywhere in the command line).
run() {
    echo "--- winmarlo $*"
    local status=0
    "${program[@]}" "$@" || status=$?
    echo "--- exit status: $status"
    echo "$* -> $status" >>exit-statuses.txt
}
# The installed versions of every inventoried adapter, one line each.
versions() {
    grep -o 'componentType="[A-Z]*" version="[^"]*" tav[A-Za-z]*="[^"]*"' inventory.xml
}

run -inv -o -s -g -c config -p common
versions >versions-before.txt
# The first update with the simulator's report of the time the cards took, by kind.
report="$PWD/timing-report.txt"
if [ "$target" = windows ]; then
    report="Z:$(echo "$report" | tr / '\\')"
fi
started=$(date +%s.%N)
DFCSIM_TIMING_REPORT="$report" run -u -o -s -g -json -c config -p common
finished=$(date +%s.%N)
cp execution.xml execution-first.xml
cp execution.json execution-first.json
# What the simulator keeps after the update: the board file and the flash contents in
# binary files beside it.
board_bytes=$(stat -c %s boards.json)
flash_bytes=$(cat ./*.bin 2>/dev/null | wc -c)
run -u -o -g -c config -p common
echo "--- messages of the second update (execution.xml):"
grep -o '<Message id="[0-9]*">[^<]*' execution.xml | sed 's/<Message //'
run -inv -o -g -c config -p common
versions >versions-after.txt

echo "--- what the update changed (before | after: family ID and version of each component):"
paste -d'|' versions-before.txt versions-after.txt | sed 's/|/  |  /'
echo "--- soft VPD file ($marlo/tavCNAFID.cfg):"
tr -d '\r' <"$marlo/tavCNAFID.cfg"
if [ -f common/UpdRollBack.ran ]; then
    echo "--- the rollback companion ran (common/UpdRollBack.ran)"
else
    echo "--- the rollback companion did not run"
fi
if [ "$target" = windows ] && [ -f ../demo-run/exit-statuses.txt ]; then
    if cmp -s exit-statuses.txt ../demo-run/exit-statuses.txt &&
        cmp -s versions-before.txt ../demo-run/versions-before.txt &&
        cmp -s versions-after.txt ../demo-run/versions-after.txt; then
        echo "--- exit statuses and versions before and after: as in the Linux demo (build/demo-run)"
    else
        echo "--- differences from the Linux demo (build/demo-run):"
        diff ../demo-run/exit-statuses.txt exit-statuses.txt || true
        diff ../demo-run/versions-before.txt versions-before.txt || true
        diff ../demo-run/versions-after.txt versions-after.txt || true
    fi
fi
# The demo's timing summary: figures of this run on this machine.
{
    echo "--- timing summary of this demo ($(date -u +%Y-%m-%d), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)):"
    if [ -f timing-report.txt ]; then
        echo "  where the first update's time went (the boards' timing model, seconds):"
        awk '{ printf "    %-12s %6.2f\n", $1, $2 / 1e6 }' timing-report.txt
    fi
    awk -v started="$started" -v finished="$finished" -v demo="$demo_started" -v now="$(date +%s.%N)" \
        'BEGIN { printf "  the first update took %.2f seconds, the whole demo %.2f seconds (after the build)\n",
                        finished - started, now - demo }'
    awk -v board="$board_bytes" -v flash="$flash_bytes" \
        'BEGIN { printf "  after it the board file held %.1f KiB, the flash files beside it %.1f MiB\n",
                        board / 1024, flash / 1048576 }'
} | tee timing-summary.txt
echo "--- documents and debug.log in $PWD (execution-first.xml and .json: the first update)"
