#!/usr/bin/env bash
# Checks the Windows Installer package the way an administrator uses it, under Wine in a fresh
# prefix: a silent install, the installed program converting a two-line batch list with the
# stand-in converter from the test archive (named in the data folder's parameter file), the
# Start-menu shortcut starting the program, a silent removal, a silent major upgrade over an
# older version installed elsewhere, a refused downgrade and a last removal. Install, upgrade
# and removal must leave the per-user data folder as it was.
# Usage: scripts/windows-msi-check.sh <mingw-gui build folder>
#        DISPLAY: an X display for the program's windows (Xvfb will do); KA_MSI_SCREENSHOT=<png>
#        saves the window the shortcut opened.
set -euo pipefail
# Without a display Wine cannot make the program's window, and even a minimised run waits for it.
[ -n "${DISPLAY:-}" ] || { echo "FAILED: no DISPLAY for the program's windows"; exit 1; }
build=$(cd "$1" && pwd)
msi=$(ls "$build"/package/KorvaneAuto-*-x64.msi)
test_zip=$(ls "$build"/package/KorvaneAuto-*-win64-test-converter.zip)
version=$(basename "$msi" | sed -E 's/^KorvaneAuto-(.*)-x64\.msi$/\1/')
major=${version%%.*}
minor=${version#*.}
minor=${minor%%.*}
if [ "$minor" -gt 0 ]; then older="$major.$((minor - 1))"; else older="$((major - 1)).99"; fi
converter='C:\Program Files\Tavrolint\Korvane\Korvane.exe'
default_dir='C:\Program Files\Tavrolint\KorvaneAuto'
older_dir='C:\Apps\KorvaneAuto'

fail() {
    echo "FAILED: $*"
    exit 1
}

work=$(mktemp -d /tmp/korvaneauto-msi.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No menu entries on the host for the shortcuts the package makes.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
# KA_MSI_KEEP=1 keeps the work folder and its prefix for a look after a failure.
if [ -z "${KA_MSI_KEEP:-}" ]; then trap cleanup EXIT; fi

winpath() { echo "Z:${1//\//\\}"; }
unixpath() { # a C: path of the prefix
    local p="${1#[Cc]:}"
    echo "$WINEPREFIX/drive_c${p//\\//}"
}
cpath() { # the C: path of a file of the prefix
    local p="${1#"$WINEPREFIX/drive_c"}"
    echo "C:${p//\//\\}"
}
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n {print $2}'; }

# ---- the package itself
echo "$(basename "$msi") ($(du -k "$msi" | cut -f1) KiB):"
product_code=$(property "$msi" ProductCode)
for p in ProductName ProductVersion Manufacturer ProductCode UpgradeCode ALLUSERS; do
    echo "    $p: $(property "$msi" "$p")"
done
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "ProductVersion is not $version"
msiextract -C "$work/extract" "$msi" >"$work/extract.txt"
sed 's/^/    file: /' "$work/extract.txt"
grep -qi '/Korvane\.exe$' "$work/extract.txt" && fail "the package holds a converter"
init_converter=$(sed -n '10{s/\r$//;p}' "$(grep 'Init/KorvaneAuto.par$' "$work/extract.txt" |
    sed "s|^|$work/extract/|")")
echo "    Init/KorvaneAuto.par names the converter: $init_converter"
[ "$init_converter" = "$converter" ] || fail "the Init file does not name $converter"

echo "building KorvaneAuto $older for the upgrade:"
cmake -DKA_MSI_VERSION="$older" -DKA_MSI_OUTPUT="$work/KorvaneAuto-$older-x64.msi" \
    -P "$build/msi/KorvaneAuto-msi.cmake" | sed 's/^-- /    /'
older_msi="$work/KorvaneAuto-$older-x64.msi"
older_code=$(property "$older_msi" ProductCode)

# ---- a fresh prefix
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
timeout 300 wineboot -u >/dev/null 2>&1 || true
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tavrolint/KorvaneAuto"
[ -d "$(dirname "$(dirname "$data")")" ] || fail "no local application data folder in the prefix"

# msiexec through cmd, which shows its whole exit code (Wine's own exit status keeps only the
# low eight bits: 1603 would read 67). Each run writes a verbose log, shown when it fails.
printf '@start /wait msiexec %%*\r\n@echo msiexec exit code %%ERRORLEVEL%%\r\n' >"$work/msiexec.cmd"
step=0
msiexec() {
    local expected="$1"
    shift
    step=$((step + 1))
    local log="$work/msiexec-$step.log" out code
    out=$(timeout 300 wine cmd /c "$(winpath "$work/msiexec.cmd")" "$@" /l*v "$(winpath "$log")" \
        2>/dev/null | tr -d '\r' || true)
    code=$(echo "$out" | sed -n 's/^msiexec exit code //p')
    echo "msiexec $* -> exit code ${code:-none}"
    if [ "$code" != "$expected" ]; then
        [ -f "$log" ] && tr -d '\r' <"$log" | tail -n 30
        fail "msiexec $1 ended with ${code:-no exit code}, not $expected"
    fi
}

# The uninstall entries of the installed versions, one line each.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry() {
    { wine reg query "$uninstall_key\\$1" 2>/dev/null || true; } | tr -d '\r' |
        awk '$1 ~ /^(DisplayName|DisplayVersion|Publisher|InstallLocation|UninstallString)$/ {
                 n = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); printf "%s%s=%s", sep, n, $0; sep = "; " }'
}
show_entries() {
    local code e
    for code in "$product_code" "$older_code"; do
        e=$(entry "$code")
        [ -n "$e" ] && echo "    uninstall entry $code: $e"
    done
    return 0
}
# The shortcut: Windows puts a per-machine one in the common Start menu; Wine's installer puts
# it in the user's.
shortcut() {
    local lnk
    for lnk in "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KorvaneAuto.lnk" \
        "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/KorvaneAuto.lnk; do
        [ -f "$lnk" ] && echo "$lnk"
    done
    return 0
}
show_install() {
    local dir="$1" lnk
    echo "    installed in $dir:"
    (cd "$(unixpath "$dir")" && find . -type f | sort | sed 's|^\./|        |')
    lnk=$(shortcut)
    [ -n "$lnk" ] || fail "no Start-menu shortcut"
    echo "    shortcut: $(cpath "$lnk") -> $(strings "$lnk" | grep -i -m1 '^[A-Z]:\\.*\\KorvaneAuto\.exe$')"
    show_entries
    echo "    HKLM\\Software\\Tavrolint\\KorvaneAuto: $(wine reg query 'HKLM\Software\Tavrolint\KorvaneAuto' \
        /v InstallDir 2>/dev/null | tr -d '\r' | awk '$1 == "InstallDir" {$1 = ""; $2 = ""; sub(/^ +/, ""); print}')"
}
expect_installed() { # version folder
    [ -f "$(unixpath "$2")/KorvaneAuto.exe" ] || fail "no KorvaneAuto.exe in $2"
    [ -f "$(unixpath "$2")/Init/KorvaneAuto.par" ] || fail "no Init/KorvaneAuto.par in $2"
    [ -f "$(unixpath "$2")/help/index.html" ] || fail "no help/index.html in $2"
    [ -f "$(unixpath "$2")/README.txt" ] || fail "no README.txt in $2"
    local code="$product_code"
    [ "$1" = "$older" ] && code="$older_code"
    entry "$code" | grep -q "DisplayVersion=$1;" || fail "no uninstall entry of version $1"
}
expect_removed() {
    local dir
    for dir in "$default_dir" "$older_dir"; do
        [ ! -e "$(unixpath "$dir")" ] || fail "$dir is left after the removal"
    done
    [ ! -e "$(unixpath 'C:\Program Files\Tavrolint')" ] || fail "an empty Tavrolint folder is left"
    [ -z "$(shortcut)" ] || fail "the shortcut is left: $(shortcut)"
    [ -z "$(entry "$product_code")$(entry "$older_code")" ] || fail "an uninstall entry is left"
    echo "    no program files, no shortcut, no uninstall entry"
}
# A KorvaneAuto.exe of this prefix is running.
program_running() {
    local pid
    for pid in $(grep -l -a -i 'KorvaneAuto\.exe' /proc/[0-9]*/cmdline 2>/dev/null |
        sed 's|^/proc/||; s|/cmdline$||'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
data_sums() { (cd "$data" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
expect_data_kept() { # the sums from before
    [ "$(data_sums)" = "$1" ] || fail "the data folder changed: $(diff <(echo "$1") <(data_sums))"
    echo "    data folder kept: $(echo "$1" | wc -l) files unchanged ($(echo "$1" | awk '{print $2}' |
        sed 's|^\./||' | paste -sd ' '))"
}

# The installed program converts a two-line batch list unattended; prints its exit code.
mkdir -p "$work/in" "$work/out"
printf 'IN;SP1;PU0,0;PD100,100;\r\n' >"$work/in/alpha.hgl"
printf 'IN;SP1;PU0,0;PD200,100;\r\n' >"$work/in/beta.hgl"
printf '%s\r\n' "$(winpath "$work/in/alpha.hgl")" "$(winpath "$work/in/beta.hgl")" >"$work/list.txt"
convert() { # folder expected-exit-code
    rm -f "$work/out"/*
    local code=0
    timeout 120 wine "$1\\KorvaneAuto.exe" /d /op "$(winpath "$work/list.txt")" \
        "$(winpath "$work/out")" >"$work/stdout.txt" 2>"$work/stderr.txt" || code=$?
    echo "    $1\\KorvaneAuto.exe /d /op list.txt out -> exit code $code; outputs: $(ls "$work/out" |
        paste -sd ' ')"
    tr -d '\r' <"$work/stdout.txt" | grep -a 'KorvaneAuto:' | sed 's/^/        /' || true
    tr -d '\r' <"$work/stderr.txt" | grep -a 'KorvaneAuto:' | sed 's/^/        /' || true
    [ "$code" = "$2" ] || fail "the installed program ended with $code, not $2"
    if [ "$2" = 0 ] && { [ ! -f "$work/out/alpha.pdf" ] || [ ! -f "$work/out/beta.pdf" ]; }; then
        fail "the list was not converted"
    fi
}

echo
echo "-- silent install of $version into a fresh prefix"
msiexec 0 /i "$(winpath "$msi")" /qn
expect_installed "$version" "$default_dir"
show_install "$default_dir"
[ ! -e "$data" ] || fail "the install made the data folder"

echo "-- the installed program, as the package ships it"
convert "$default_dir" 2
grep -aqF "$converter" "$work/stderr.txt" || fail "the message does not name $converter"
par_converter=$(sed -n '10{s/\r$//;p}' "$data/KorvaneAuto.par")
echo "    data folder $(cpath "$data"), KorvaneAuto.par line 10: $par_converter"
[ "$par_converter" = "$converter" ] || fail "the data folder's parameter file does not name $converter"

echo "-- the stand-in converter from the test archive named in the data folder's parameter file"
unzip -q "$test_zip" -d "$work/test"
standin=$(winpath "$(find "$work/test" -name Korvane.exe)")
sed -i "10s|.*|${standin//\\/\\\\}\r|" "$data/KorvaneAuto.par"
echo "    line 10: $standin"
convert "$default_dir" 0

echo "-- the Start-menu shortcut"
lnk=$(shortcut)
echo "    wine start $(cpath "$lnk")"
wine start "$(cpath "$lnk")" >/dev/null 2>&1
window=""
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name 'KorvaneAuto >>' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || fail "the shortcut opened no KorvaneAuto window"
echo "    started: window \"$(xdotool getwindowname "$window")\""
program_running || fail "the window is there but no KorvaneAuto.exe process of this prefix"
if [ -n "${KA_MSI_SCREENSHOT:-}" ]; then
    sleep 2
    import -frame -window "$window" "$KA_MSI_SCREENSHOT"
    echo "    screenshot: $KA_MSI_SCREENSHOT"
fi
# Closed as a user closes it: the program saves its settings and ends; only then is its data
# folder at rest. (Wine's start returns at once for a shortcut, so the process is looked for.)
xdotool windowfocus --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
for _ in $(seq 100); do
    program_running || break
    sleep 0.2
done
program_running && fail "the program did not end when its window was closed"
echo "    closed; the program ended"

echo "-- silent removal"
before=$(data_sums)
msiexec 0 /x "$product_code" /qn
expect_removed
expect_data_kept "$before"

echo "-- silent upgrade: $older installed in $older_dir, then $version over it"
msiexec 0 /i "$(winpath "$older_msi")" /qn INSTALLDIR="$older_dir"
expect_installed "$older" "$older_dir"
show_install "$older_dir"
before=$(data_sums)
msiexec 0 /i "$(winpath "$msi")" /qn
expect_installed "$version" "$older_dir"
[ -z "$(entry "$older_code")" ] || fail "the uninstall entry of $older is left"
[ ! -e "$(unixpath "$default_dir")" ] || fail "the upgrade went to $default_dir, not $older_dir"
show_install "$older_dir"
expect_data_kept "$before"
convert "$older_dir" 0

echo "-- $older over $version is refused"
before=$(data_sums)
msiexec 1603 /i "$(winpath "$older_msi")" /qn
expect_installed "$version" "$older_dir"
show_entries
expect_data_kept "$before"

echo "-- silent removal"
msiexec 0 /x "$(winpath "$msi")" /qn
expect_removed
expect_data_kept "$before"
echo "MSI check passed"
