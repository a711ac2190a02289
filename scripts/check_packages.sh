#!/usr/bin/env bash
# Makes the packages of both builds and checks them as Debian and Windows expect them:
# the Debian packages of build/linux (cpack -G DEB), the Windows installer (target msi)
# and zip files (cpack -G ZIP) of build/windows.
# - Debian: lintian with no error or warning; the control fields and every file; the
#   binaries stripped and hardened, their debug symbols in the -dbgsym packages; the
#   installed program, its manual page and the simulator's demo package run from a
#   temporary root as doc/installing.md says; and a second build of the packages from
#   the same sources in other folders, which must give byte-identical files.
# - Windows: the installer under Wine in a prefix of its own: installed with msiexec /i,
#   its winmarlo.exe -v run from the PATH it sets, upgraded by an installer of a higher
#   version, refused for a lower one, and removed; the files and the PATH are checked
#   each time. The zip files' contents.
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
wineprefix=$work/wineprefix
cleanup() {
    if [ -d "$wineprefix" ]; then WINEPREFIX=$wineprefix wineserver -k >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "=== packages $version ==="
# No package of an earlier run may stand in for one that cpack fails to make.
# SOURCE_DATE_EPOCH is left to the build, which takes the last commit's time.
rm -f "$linux"/winmarlo*.deb "$linux"/winmarlo*.ddeb "$windows"/winmarlo*.zip "$windows"/winmarlo*.msi
(cd "$linux" && env -u SOURCE_DATE_EPOCH cpack -G DEB) >"$work/cpack-deb.log" 2>&1 ||
    { cat "$work/cpack-deb.log"; exit 1; }
(cd "$windows" && cpack -G ZIP) >"$work/cpack-zip.log" 2>&1 || { cat "$work/cpack-zip.log"; exit 1; }
cmake --build "$windows" --target msi >"$work/msi.log" 2>&1 || { cat "$work/msi.log"; exit 1; }

deb=$linux/winmarlo_${version}_${arch}.deb
simdeb=$linux/winmarlo-simulator_${version}_${arch}.deb
dbgsym=$linux/winmarlo-dbgsym_${version}_${arch}.ddeb
simdbgsym=$linux/winmarlo-simulator-dbgsym_${version}_${arch}.ddeb
zip=$windows/winmarlo-${version}-win64.zip
simzip=$windows/winmarlo-simulator-${version}-win64.zip
msi=$windows/winmarlo-${version}-x64.msi
for p in "$deb" "$simdeb" "$dbgsym" "$simdbgsym" "$zip" "$simzip" "$msi"; do
    [ -f "$p" ] || fail "the packaging made no $p"
done
[ "$failures" -eq 0 ] || exit 1

# --- lintian: no error and no warning; what is overridden carries its reason in the
# override files of packaging/debian. Informational tags are shown, not counted.
for p in "$deb" "$simdeb"; do
    status=0
    lintian --fail-on error,warning --display-info "$p" >"$work/lintian.out" 2>&1 || status=$?
    grep -v 'running with root privileges' "$work/lintian.out" >"$work/lintian.log" || true
    if [ "$status" -ne 0 ] || grep -q '^[EW]: ' "$work/lintian.log"; then
        fail "lintian $(basename "$p") (status $status):"
        cat "$work/lintian.log" >&2
    elif [ -s "$work/lintian.log" ]; then
        sed "s|^|lintian $(basename "$p"): |" "$work/lintian.log"
    fi
done

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
./usr/share/doc/winmarlo/changelog.gz
./usr/share/doc/winmarlo/copyright
./usr/share/lintian/overrides/winmarlo
./usr/share/man/man1/winmarlo.1.gz
./usr/share/winmarlo/winmarlo-summary.schema.json" "$(files "$deb")"
# The simulator package: everything in its own folder, the library not executable.
sim=./usr/libexec/winmarlo-simulator
simfiles=$(files "$simdeb")
same_files "$(basename "$simdeb")" "$sim/winmarlo
$sim/libdfc.so
./usr/share/doc/winmarlo-simulator/changelog.gz
./usr/share/doc/winmarlo-simulator/copyright
./usr/share/lintian/overrides/winmarlo-simulator
$(cd "$linux/demo-package" && find . -type f | sed "s|^\.|$sim/demo-package|")" "$simfiles"
simlisting=$(dpkg-deb -c "$simdeb")
grep -q "^-rw-r--r-- .* $sim/libdfc.so$" <<<"$simlisting" || fail "libdfc.so is not -rw-r--r--"
grep -q "^-rwxr-xr-x .* $sim/demo-package/common/UpdRollBack.exe$" <<<"$simlisting" ||
    fail "the rollback companion is not executable"
# Purging the program's package removes its state; nothing else runs at install.
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vx -e '' -e control -e md5sums | sort | tr '\n' ' ')" = "postrm " ] ||
    fail "$(basename "$deb") has maintainer scripts other than postrm"
dpkg-deb --ctrl-tarfile "$simdeb" | tar -t | grep -qE 'post|pre' && fail "$(basename "$simdeb") has maintainer scripts"

# --- the binaries: stripped, their debug symbols in the -dbgsym package under their
# build id, and hardened (PIE, relocations read-only and bound at start, stack
# protector, fortified calls where the program makes them).
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$simdeb" "$root"
debug=$work/debug
dpkg-deb -x "$dbgsym" "$debug"
dpkg-deb -x "$simdbgsym" "$debug"
for f in usr/bin/winmarlo ${sim#./}/winmarlo ${sim#./}/libdfc.so ${sim#./}/demo-package/common/UpdRollBack.exe; do
    elf=$root/$f
    file -b "$elf" | grep -q ', stripped' || fail "$f is not stripped"
    id=$(readelf -n "$elf" | sed -n 's/.*Build ID: //p')
    [ -n "$id" ] && [ -f "$debug/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] ||
        fail "$f: no debug symbols for build id '$id' in the -dbgsym packages"
    dynamic=$(readelf -d "$elf")
    grep -qE 'FLAGS.*BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$f is not bound at start (BIND_NOW)"
    readelf -l "$elf" | grep -q GNU_RELRO || fail "$f has no read-only relocations (RELRO)"
    if [ "${f##*.}" != so ]; then
        grep -qE 'FLAGS_1.*PIE' <<<"$dynamic" || fail "$f is not a position-independent executable"
    fi
done
symbols=$(readelf --dyn-syms -W "$root/usr/bin/winmarlo")
grep -q '__stack_chk_fail' <<<"$symbols" || fail "usr/bin/winmarlo has no stack protector"
grep -qE '__[a-z]+_chk(@| )' <<<"$symbols" || fail "usr/bin/winmarlo calls no fortified function"
# The changelog is CHANGELOG.md's, newest entry first and for this version.
head -1 <(zcat "$root/usr/share/doc/winmarlo/changelog.gz") | grep -qx "winmarlo ($version) unstable; urgency=medium" ||
    fail "changelog.gz does not begin with this version's entry"
cmp -s "$root/usr/share/winmarlo/winmarlo-summary.schema.json" "$source_dir/doc/winmarlo-summary.schema.json" ||
    fail "the installed schema is not doc/winmarlo-summary.schema.json"

# --- the installed program: -v prints the project's version, -h the help; the program
# refuses anyone but root (15) before it reads an option.
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

# --- the simulator as doc/installing.md runs it: a copy of the demo package, the
# program beside the simulated library. An update of every demo adapter, after which
# the package's rollback companion has run.
if [ "$want" -eq 0 ]; then
    cp -r "$root/${sim#./}/demo-package" "$work/demo"
    status=0
    (cd "$work/demo" && DFCSIM_BOARDS=$PWD/boards.json ProgramFiles=$PWD/programfiles DFCSIM_TIMING=off \
        "$root/${sim#./}/winmarlo" -u -o -c config -p common) >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the simulator's demo update: exit status $status"
    grep -q '<Device ' "$work/demo/execution.xml" 2>/dev/null || fail "the simulator's demo update lists no Device"
    [ -f "$work/demo/common/UpdRollBack.ran" ] || fail "the simulator's rollback companion did not run"
fi

# --- reproducible: the packages built again from the same sources in other folders
# (a copy of the checkout's files, a build folder of its own, the tests left out), with
# SOURCE_DATE_EPOCH from the last commit as the build takes it, are the same bytes.
if commit_time=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null); then
    echo "=== packages built again in $work/again ==="
    again=$work/again
    mkdir -p "$again/src"
    git -C "$source_dir" ls-files -z | (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$again/src"
    build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$linux/CMakeCache.txt")
    if cmake -S "$again/src" -B "$again/build" -G Ninja -DWINMARLO_WERROR=ON -DWINMARLO_TESTS=OFF \
            -DCMAKE_BUILD_TYPE="$build_type" >"$work/again.log" 2>&1 &&
        cmake --build "$again/build" >>"$work/again.log" 2>&1 &&
        (cd "$again/build" && SOURCE_DATE_EPOCH=$commit_time cpack -G DEB) >>"$work/again.log" 2>&1; then
        for p in "$deb" "$simdeb" "$dbgsym" "$simdbgsym"; do
            if ! cmp -s "$p" "$again/build/$(basename "$p")"; then
                fail "$(basename "$p") differs when built in another folder:"
                diff <(dpkg-deb -c "$p") <(dpkg-deb -c "$again/build/$(basename "$p")") >&2 || true
            fi
        done
    else
        tail -30 "$work/again.log" >&2
        fail "the second build of the packages failed"
    fi
    rm -rf "$again"
else
    echo "check_packages: not a git checkout: the second build of the packages is left out" >&2
fi

# --- Windows zip files: the program, its documents and the summary's schema; the
# simulator apart. Both unpack into one folder, winmarlo-<version>-win64.
entries() { unzip -Z1 "$1" | grep -v '/$'; }
windows_files="winmarlo.exe
README.md
CHANGELOG.md
winmarlo-summary.schema.json"
same_files "$(basename "$zip")" "$(sed "s|^|winmarlo-${version}-win64/|" <<<"$windows_files")" "$(entries "$zip")"
top=winmarlo-${version}-win64/simulator
simentries=$(entries "$simzip")
for f in winmarlo.exe libdfc.dll demo-package/boards.json; do
    grep -qx "$top/$f" <<<"$simentries" || fail "$(basename "$simzip") lacks $top/$f"
done
outside=$(grep -v "^$top/" <<<"$simentries" || true)
[ -z "$outside" ] || fail "$(basename "$simzip") holds outside $top: $outside"

# --- the Windows installer under Wine, in a prefix of its own (made fresh: about half
# a minute) so that nothing of it reaches the test suite's prefix.
export WINEPREFIX=$wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
programs=$WINEPREFIX/drive_c/Program\ Files
installed=$programs/Tavrel/winmarlo
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
winpath() { echo "Z:${1//\//\\}"; }
# The versions of winmarlo that Windows lists as installed, one a line.
installed_versions() {
    wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ {name = ""} $1 == "DisplayName" {name = $3} $1 == "DisplayVersion" && name == "winmarlo" {print $3}'
}
# How often the system PATH names the installed folder.
path_entries() {
    wine reg query "$environment" /v PATH 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*SZ *//p' | tr ';' '\n' |
        grep -cxiF 'C:\Program Files\Tavrel\winmarlo\' || true
}
# After each step: the installer's files and no others, one PATH entry, one version.
check_installed() { # step, version
    same_files "$1: $installed" "$windows_files" "$(cd "$installed" 2>/dev/null && find . -type f | sed 's|^\./||')"
    [ "$(path_entries)" = 1 ] || fail "$1: the system PATH names the installed folder $(path_entries) times"
    [ "$(installed_versions | tr '\n' ' ')" = "$2 " ] || fail "$1: installed versions '$(installed_versions | tr '\n' ' ')', not $2"
}
echo "=== Windows installer under Wine ==="
mkdir -p "$WINEPREFIX"
wineserver -p
timeout 300 wine cmd /c exit >/dev/null 2>&1 || true
# A build of a higher version (one more in the fourth part, as the next build of this
# version would be) and one of a lower three-part version.
IFS=. read -r major minor release build <<<"$version"
higher=$major.$minor.$release.$((build + 1))
lower=$major.$minor.$((release - 1)).0
for v in "$higher" "$lower"; do
    cmake -DVERSION="$v" -DBUILD_DIR="$windows" -DSOURCE_DIR="$source_dir" \
        -DSTRIP="$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$windows/CMakeCache.txt")" \
        -DOUTPUT="$work/winmarlo-$v-x64.msi" -P "$source_dir/cmake/make_msi.cmake" >/dev/null ||
        fail "no installer of version $v"
done
status=0; wine msiexec /i "$(winpath "$msi")" /qn || status=$?
[ "$status" -eq 0 ] || fail "msiexec /i $(basename "$msi"): status $status"
check_installed install "$version"
# The installed program, found through the PATH the installer set, in a new process.
out=$(cd "$work" && wine cmd /c winmarlo.exe -v 2>/dev/null | tr -d '\r') || true
[ "$out" = "$version" ] || fail "winmarlo.exe -v through PATH printed '$out', the installer is $version"
# An inventory makes the program's state beside its folder (no adapter library: 17).
status=0; (cd "$work" && wine "C:\\Program Files\\Tavrel\\winmarlo\\winmarlo.exe" -inv -o) >/dev/null 2>&1 || status=$?
[ "$status" -eq 17 ] || fail "winmarlo.exe -inv: status $status, not 17"
[ -d "$programs/Tavrel/marlo" ] || fail "the inventory made no Tavrel\\marlo"
status=0; wine msiexec /i "$(winpath "$work/winmarlo-$higher-x64.msi")" /qn || status=$?
[ "$status" -eq 0 ] || fail "the upgrade to $higher: status $status"
check_installed "upgrade to $higher" "$higher"
status=0; wine msiexec /i "$(winpath "$work/winmarlo-$lower-x64.msi")" /qn >/dev/null 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "the older $lower was installed over $higher"
check_installed "refused $lower" "$higher"
status=0; wine msiexec /x "$(winpath "$work/winmarlo-$higher-x64.msi")" /qn || status=$?
[ "$status" -eq 0 ] || fail "msiexec /x: status $status"
# Removal leaves the program's state, and nothing else.
left=$(cd "$programs/Tavrel" 2>/dev/null && find . -mindepth 1 -maxdepth 1 | sed 's|^\./||' || true)
[ "$left" = marlo ] || fail "after removal Program Files\\Tavrel holds '$(echo $left)', not only marlo"
[ "$(path_entries)" = 0 ] || fail "after removal the system PATH still names the installed folder"
[ -z "$(installed_versions)" ] || fail "after removal Windows lists winmarlo $(installed_versions)"
wineserver -k || true

if [ "$failures" -ne 0 ]; then
    echo "check_packages: $failures failed" >&2
    exit 1
fi
echo "packages: $(basename "$deb") $(basename "$simdeb") $(basename "$dbgsym") $(basename "$simdbgsym")" \
     "$(basename "$zip") $(basename "$simzip") $(basename "$msi"): lintian clean, reproducible, contents as expected;" \
     "the installer installs, upgrades and removes under Wine"
