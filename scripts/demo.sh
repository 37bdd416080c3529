#!/usr/bin/env bash
# An unattended demonstration with the stand-in converter: a batch run and a folder comparison,
# each started from the command line, minimised, ending by itself.
# Usage: scripts/demo.sh [program folder]   (default: the build tree's build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$(cd "${1:-build/bin}" && pwd)"
demo="$(mktemp -d /tmp/korvaneauto-demo.XXXXXX)"
export XDG_DATA_HOME="$demo/data"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$demo/runtime"
data="$XDG_DATA_HOME/Tavrolint/KorvaneAuto"
mkdir -p -m 700 "$demo/runtime"
mkdir -p "$data" "$demo/in1" "$demo/in2" "$demo/out"

# Drawings: three in folder 1, two of them also in folder 2 (one changed).
printf 'IN;SP1;PU0,0;PD100,100;\r\n' >"$demo/in1/alpha.hgl"
printf 'IN;SP1;PU0,0;PD200,100;\r\n' >"$demo/in1/beta.hgl"
printf 'IN;SP2;PU0,0;PD300,300;\r\n' >"$demo/in1/gamma.hgl"
cp "$demo/in1/alpha.hgl" "$demo/in2/alpha.hgl"
printf 'IN;SP1;PU0,0;PD250,100;\r\n' >"$demo/in2/beta.hgl"

# Batch list: one output per line; the second line opens two drawings for one output.
printf '%s\r\n' "$demo/in1/alpha.hgl" "$demo/in1/beta.hgl,$demo/in1/gamma.hgl" >"$demo/list.txt"

# Parameter file: the shipped one, pointed at the demo's folders (lines 11, 13, 15, 16), with
# "no output when a comparison finds no difference" on (line 23).
awk -v list="$demo/list.txt" -v out="$demo/out/" -v c1="$demo/in1/*.hgl" -v c2="$demo/in2/" \
    'BEGIN { RS = "\r\n"; ORS = "\r\n" }
     NR == 11 { $0 = list } NR == 13 { $0 = out } NR == 15 { $0 = c1 } NR == 16 { $0 = c2 } NR == 23 { $0 = 1 }
     { print }' "$bin/Init/KorvaneAuto.par" >"$data/KorvaneAuto.par"

echo "Demo folder: $demo"
echo
echo "1. Batch output to PDF:  KorvaneAuto /d /op $demo/list.txt $demo/out"
timeout 120 "$bin/KorvaneAuto" /d /op "$demo/list.txt" "$demo/out"
echo "   converter record file ($data/Korvaneline.txt):"
sed 's/\r$//; s/^/     /' "$data/Korvaneline.txt"
echo
echo "2. Folder comparison to SVG, no output where nothing differs:"
echo "   KorvaneAuto /h /ov $demo/in1/*.hgl $demo/in2"
timeout 120 "$bin/KorvaneAuto" /h /ov "$demo/in1/*.hgl" "$demo/in2"
echo "   converter record file:"
sed 's/\r$//; s/^/     /' "$data/Korvaneline.txt"
echo
echo "Produced in $demo/out:"
ls -l "$demo/out" | sed 's/^/   /'
