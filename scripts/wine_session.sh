# Sourced by the scripts that run the Windows build under Wine: one wineserver for
# all the runs keeps each process start fast, and it is stopped again when the script
# ends, so nothing outlives it. The prefix is build/wineprefix of the checkout.
start_wine_session() {
    export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p
    trap 'wineserver -k || true' EXIT
    # The first process of a fresh prefix sets it up; start one that does nothing,
    # with a time limit, so that no later run pays for it.
    timeout 300 wine cmd /c exit >/dev/null 2>&1 || true
}
