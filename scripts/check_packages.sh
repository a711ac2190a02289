#!/usr/bin/env bash
# Makes the packages of both builds and checks what they hold: the Debian packages of
# build/linux (cpack -G DEB) and the zip files of build/windows (cpack -G ZIP). The
# program's packages hold the program, its manual page and the README and nothing of
# the simulator; the simulator's hold the simulated adapter library only in a folder
# of its own, beside a copy of the program. The Debian packages are unpacked into a
# temporary root, where the installed program, its manual page and the simulator's
# demo package are run as README.md's "Installing" says.
# Usage: scripts/check_packages.sh   (after both builds, as scripts/test.sh runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
linux=$PWD/build/linux windows=$PWD/build/windows
for build in "$linux" "$windows"; do
    [ -f "$build/CPackConfig.cmake" ] || { echo "check_packages: $build is not configured" >&2; exit 1; }
done

failures=0
fail() { echo "check_packages: FAILED: $*" >&2; failures=$((failures + 1)); }
# Every name of the first list, and no other, is in the second (lists: one name a line).
same_files() { # what, expected, actual
    local missing extra
    missing=$(comm -23 <(sort <<<"$2") <(sort <<<"$3"))
    extra=$(comm -13 <(sort <<<"$2") <(sort <<<"$3"))
    [ -z "$missing" ] || fail "$1 lacks: $(echo $missing)"
    [ -z "$extra" ] || fail "$1 holds what it should not: $(echo $extra)"
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "=== packages $version ==="
# No package of an earlier run may stand in for one that cpack fails to make.
rm -f "$linux"/winmarlo*.deb "$windows"/winmarlo*.zip
(cd "$linux" && cpack -G DEB) >"$work/cpack-deb.log" 2>&1 || { cat "$work/cpack-deb.log"; exit 1; }
(cd "$windows" && cpack -G ZIP) >"$work/cpack-zip.log" 2>&1 || { cat "$work/cpack-zip.log"; exit 1; }

deb=$linux/winmarlo_${version}_${arch}.deb
simdeb=$linux/winmarlo-simulator_${version}_${arch}.deb
zip=$windows/winmarlo-${version}-win64.zip
simzip=$windows/winmarlo-simulator-${version}-win64.zip
for p in "$deb" "$simdeb" "$zip" "$simzip"; do
    [ -f "$p" ] || fail "cpack made no $p"
done
[ "$failures" -eq 0 ] || exit 1

# --- Debian packages: control fields, then the files (directories left out).
for p in "$deb" "$simdeb"; do
    name=$(basename "$p"); name=${name%%_*}
    [ "$(dpkg-deb -f "$p" Package)" = "$name" ] || fail "$p: Package is not $name"
    [ "$(dpkg-deb -f "$p" Version)" = "$version" ] || fail "$p: Version is not $version"
    [ "$(dpkg-deb -f "$p" Architecture)" = "$arch" ] || fail "$p: Architecture is not $arch"
    # The run-time libraries of a C++ program, as dpkg-shlibdeps names them, and no others.
    depends=$(dpkg-deb -f "$p" Depends)
    grep -q '^libc6 (>= [0-9.]*)' <<<"$depends" || fail "$p: Depends lacks libc6: $depends"
    others=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -vxE 'libc6|libgcc-s1|libstdc\+\+6' || true)
    [ -z "$others" ] || fail "$p: Depends names $others"
    # Owned by root, and nothing writable by others.
    dpkg-deb -c "$p" | awk '$2 != "root/root" || substr($1, 9, 1) == "w"' | grep . && fail "$p: owners or modes"
done
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}'; }
same_files "$(basename "$deb")" "./usr/bin/winmarlo
./usr/share/doc/winmarlo/README.md.gz
./usr/share/man/man1/winmarlo.1.gz" "$(files "$deb")"
# The simulator package: everything in its own folder, the library not executable.
sim=./usr/lib/winmarlo-simulator
simfiles=$(files "$simdeb")
same_files "$(basename "$simdeb")" "$sim/winmarlo
$sim/libdfc.so
$(cd "$linux/demo-package" && find . -type f | sed "s|^\.|$sim/demo-package|")" "$simfiles"
simlisting=$(dpkg-deb -c "$simdeb")
grep -q "^-rw-r--r-- .* $sim/libdfc.so$" <<<"$simlisting" || fail "libdfc.so is not -rw-r--r--"
grep -q "^-rwxr-xr-x .* $sim/demo-package/common/UpdRollBack.exe$" <<<"$simlisting" ||
    fail "the rollback companion is not executable"

# --- the installed program: -v prints the project's version, -h the help; the program
# refuses anyone but root (15) before it reads an option.
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$simdeb" "$root"
if [ "$(id -u)" -eq 0 ]; then want=0; else want=15; fi
status=0; out=$("$root/usr/bin/winmarlo" -v) || status=$?
[ "$status" -eq "$want" ] || fail "winmarlo -v: exit status $status"
[ "$want" -ne 0 ] || [ "$out" = "$version" ] || fail "winmarlo -v printed '$out', the package is $version"
status=0; out=$("$root/usr/bin/winmarlo" -h) || status=$?
[ "$status" -eq "$want" ] || fail "winmarlo -h: exit status $status"
[ "$want" -ne 0 ] || grep -q -- '-inv ' <<<"$out" || fail "winmarlo -h printed no help: $out"

# --- the manual page: formats without a warning, and its exit statuses are README.md's.
page=$root/usr/share/man/man1/winmarlo.1.gz
warnings=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null) || fail "man -l $page failed"
[ -z "$warnings" ] || fail "man -l $page warns: $warnings"
python3 - "$source_dir/README.md" "$page" <<'EOF' || fail "the manual page's exit statuses are not README.md's"
import gzip, re, sys
# README.md: "| code | prefix | message |" rows of "## Exit statuses".
readme, section = {}, None
for line in open(sys.argv[1], encoding="utf-8"):
    if line.startswith("## "):
        section = line.strip()
    elif section == "## Exit statuses" and re.match(r"\| \d", line):
        code, prefix, message = (c.strip() for c in line.strip().strip("|").split("|"))
        readme[int(code)] = f"[{prefix}] {message}" if prefix else message
# The page: ".TP", ".B code", then the text up to the next macro.
roff = gzip.open(sys.argv[2], "rt", encoding="utf-8").read().split(".SH EXIT STATUS", 1)[1].split("\n.SH ", 1)[0] + "\n"
page = {int(code): " ".join(text.split()).replace("\\-", "-")
        for code, text in re.findall(r"\.TP\n\.B (\d+)\n((?:[^.].*\n)+)", roff)}
bad = False
for code in sorted(readme.keys() | page.keys()):
    want, got = readme.get(code), page.get(code)
    shortened = want is not None and want.endswith("…")
    ok = want is not None and got is not None and (
        got.startswith(want[:-1].rstrip()) if shortened else got == want)
    if not ok:
        print(f"exit status {code}: README.md {want!r}, manual page {got!r}", file=sys.stderr)
        bad = True
sys.exit(1 if bad else 0)
EOF

# --- the simulator as README.md's "Installing" runs it: a copy of the demo package, the
# program beside the simulated library. An update of every demo adapter, after which
# the package's rollback companion has run.
if [ "$want" -eq 0 ]; then
    cp -r "$root/usr/lib/winmarlo-simulator/demo-package" "$work/demo"
    status=0
    (cd "$work/demo" && DFCSIM_BOARDS=$PWD/boards.json ProgramFiles=$PWD/programfiles DFCSIM_TIMING=off \
        "$root/usr/lib/winmarlo-simulator/winmarlo" -u -o -c config -p common) >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the simulator's demo update: exit status $status"
    grep -q '<Device ' "$work/demo/execution.xml" 2>/dev/null || fail "the simulator's demo update lists no Device"
    [ -f "$work/demo/common/UpdRollBack.ran" ] || fail "the simulator's rollback companion did not run"
fi

# --- Windows zip files: the program and the README; the simulator apart.
# Both unpack into one folder, winmarlo-<version>-win64.
entries() { unzip -Z1 "$1" | grep -v '/$'; }
same_files "$(basename "$zip")" "winmarlo-${version}-win64/winmarlo.exe
winmarlo-${version}-win64/README.md" "$(entries "$zip")"
top=winmarlo-${version}-win64/simulator
simentries=$(entries "$simzip")
for f in winmarlo.exe libdfc.dll demo-package/boards.json; do
    grep -qx "$top/$f" <<<"$simentries" || fail "$(basename "$simzip") lacks $top/$f"
done
outside=$(grep -v "^$top/" <<<"$simentries" || true)
[ -z "$outside" ] || fail "$(basename "$simzip") holds outside $top: $outside"

if [ "$failures" -ne 0 ]; then
    echo "check_packages: $failures failed" >&2
    exit 1
fi
echo "packages: $(basename "$deb") $(basename "$simdeb") $(basename "$zip") $(basename "$simzip"): contents as expected"
