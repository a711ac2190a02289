#!/usr/bin/env bash
# The seeded campaign of faults, kills and stop requests on the demo package (the test
# program update_campaign, tests/update/campaign_test.cpp), for more runs than the test
# command makes: each run's plan comes from the seed and its number, so that any run
# can be replayed alone. Prints each run's plan and the invariants it broke; the exit
# status is 0 when every run held them all.
#
#   scripts/campaign.sh [--runs N] [--seed S] [--first K]   runs K to K+N-1 of seed S
#   scripts/campaign.sh --seed S --run K                    run K of seed S alone
#   scripts/campaign.sh --fixed [--open]                    the test's fixed cases (and
#                                                           those of faults still open)
#
# Defaults: 100 runs from run 0 of a seed taken from the clock (printed, to replay).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=100 seed="" first=0 run="" fixed=0 open=()
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --first) first=$2; shift 2 ;;
    --run) run=$2; shift 2 ;;
    --fixed) fixed=1; shift ;;
    --open) open=(--open); shift ;;
    *)
        sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
done
for value in "$runs" "$first" ${run:+"$run"} ${seed:+"$seed"}; do
    if ! [[ "$value" =~ ^(0x[0-9A-Fa-f]+|[0-9]+)$ ]]; then
        echo "campaign.sh: not a number: $value" >&2
        exit 2
    fi
done

scripts/setup.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux --target update_campaign

if [ "$fixed" = 1 ]; then
    exec build/linux/tests/update_campaign "${open[@]}"
fi
if [ -z "$seed" ]; then
    seed=$(date +%s)
fi
echo "campaign: seed $seed"
if [ -n "$run" ]; then
    exec build/linux/tests/update_campaign --seed "$seed" --run "$run"
fi
exec build/linux/tests/update_campaign --seed "$seed" --first "$first" --runs "$runs"
