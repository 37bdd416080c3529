#!/usr/bin/env bash
# Lists the Windows packages, unpacks them as a user would and lets the program from the ZIP
# convert a two-line batch list under Wine. The stand-in converter from the test archive plays
# the real converter installed beside the program; the data folder starts empty, so the
# program's first start prepares it from the shipped Init folder.
# Usage: scripts/windows-package-check.sh <folder with the ZIPs>   (WINEPREFIX and DISPLAY set)
set -euo pipefail
packages="$1"
program_zip=$(ls "$packages"/KorvaneAuto-*-win64.zip)
test_zip=$(ls "$packages"/KorvaneAuto-*-win64-test-converter.zip)
for zip in "$program_zip" "$test_zip"; do
    echo "$(basename "$zip") ($(du -k "$zip" | cut -f1) KiB):"
    unzip -Z1 "$zip" | sed 's/^/    /'
done

work=$(mktemp -d /tmp/korvaneauto-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
unzip -q "$program_zip" -d "$work/program"
unzip -q "$test_zip" -d "$work/test"
exe=$(find "$work/program" -name KorvaneAuto.exe)
standin=$(find "$work/test" -name Korvane.exe)
if [ -n "$(find "$work/program" -iname Korvane.exe)" ]; then
    echo "FAILED: the program package holds a converter"
    exit 1
fi
cp "$standin" "$(dirname "$exe")/"

winpath() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/data" "$work/in" "$work/out"
printf 'IN;SP1;PU0,0;PD100,100;\r\n' >"$work/in/alpha.hgl"
printf 'IN;SP1;PU0,0;PD200,100;\r\n' >"$work/in/beta.hgl"
printf '%s\r\n' "$(winpath "$work/in/alpha.hgl")" "$(winpath "$work/in/beta.hgl")" >"$work/list.txt"

echo "KorvaneAuto.exe /d /op list.txt out (two lines), from the unpacked ZIP:"
code=0
LOCALAPPDATA="$(winpath "$work/data")" timeout 120 wine "$exe" /d /op \
    "$(winpath "$work/list.txt")" "$(winpath "$work/out")" >/dev/null 2>&1 || code=$?
record="$work/data/Tavrolint/KorvaneAuto/Korvaneline.txt"
echo "    exit code $code; outputs: $(cd "$work/out" && ls | tr '\n' ' ')"
[ -f "$record" ] && sed 's/\r$//; s/^/    record: /' "$record"
if [ "$code" != 0 ] || [ ! -f "$work/out/alpha.pdf" ] || [ ! -f "$work/out/beta.pdf" ]; then
    echo "FAILED: the packaged program did not convert the list"
    exit 1
fi
echo "package check passed"
