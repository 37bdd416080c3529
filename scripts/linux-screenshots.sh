#!/usr/bin/env bash
# Screenshots of the program on Linux, as a user meets it on four screens: 1024 x 768 and
# 1366 x 768 at scale 1, 1366 x 768 at scale 1.5, 1920 x 1080 at scale 2. Each runs on its own
# virtual X display with a window manager (openbox) and a fresh data folder, and shows the main
# window, "Set" and "Batch file creation" over a batch list of long paths, reached with their
# mnemonics. At 1366 x 768 it also takes the windows alone for the docs, a batch run and the
# other dialogs. Writes docs/screenshots/. Needs the dev build, Xvfb, openbox, xdotool and
# ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$PWD/build/bin"
out="$PWD/docs/screenshots"
[ -x "$bin/KorvaneAuto" ] || { echo "build the dev preset first" >&2; exit 1; }
mkdir -p "$out"

# In the home folder rather than the temporary one, whose neighbours would fill the folder tree.
work=$(mktemp -d "$HOME/korvaneauto-shots.XXXXXX")
pids=()
stop_all() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

# Drawings deep in a project folder, as they come from a file server.
project="$work/Projects/Building C - Structural/Level 03 - Floor framing/Issued for construction 2026-11"
mkdir -p "$project" "$work/out"
for i in 01 02 03 04 05 06 07 08 09 10 11 12; do
    printf 'IN;SP1;PU0,0;PD%s0,100;\r\n' "$i" >"$project/S-3$i Floor framing plan zone $i.hgl"
done
{
    for i in 01 02 03 04 05 06; do printf '%s\r\n' "$project/S-3$i Floor framing plan zone $i.hgl"; done
    printf '%s\r\n' "$project/S-307 Floor framing plan zone 07.hgl,$project/S-308 Floor framing plan zone 08.hgl"
} >"$work/list.txt"

# The newest visible window whose name matches.
window() {
    local id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 || true)
        [ -n "$id" ] && break
        sleep 0.2
    done
    [ -n "$id" ] || { echo "no window named '$1'" >&2; return 1; }
    echo "$id"
}
# Keys to a window, as the keyboard sends them to its focus.
keys() {
    local id=$1
    shift
    xdotool windowactivate --sync "$id" key --delay 120 "$@" 2>/dev/null || xdotool key "$@"
    sleep 1.5
}
screen_shot() { import -window root "$out/$1.png"; echo "    $1.png"; }
window_shot() { import -frame -window "$1" "$out/$2.png"; echo "    $2.png"; }

# One screen: name, size, scale factor, and whether to take the windows alone too.
pass() {
    local name=$1 size=$2 scale=$3 windows=$4
    echo "-- $size at scale $scale"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$work/display")"
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 1

    # A fresh data folder: no remembered place, the shipped settings pointed at the list.
    export XDG_DATA_HOME="$work/data-$name"
    local data="$XDG_DATA_HOME/Tavrolint/KorvaneAuto"
    mkdir -p "$data"
    awk -v list="$work/list.txt" -v out="$work/out/" -v standby="$project/*.hgl" \
        'BEGIN { RS = "\r\n"; ORS = "\r\n" }
         NR == 11 { $0 = list } NR == 12 { $0 = standby } NR == 13 { $0 = out } { print }' \
        "$bin/Init/KorvaneAuto.par" >"$data/KorvaneAuto.par"

    # The stand-in converter takes its time, so a run can be seen while it goes on. Started in
    # the scratch folder: the folder trees open on the current folder.
    (cd "$work" && exec env KORVANE_STANDIN_JOB_MS=700 QT_SCALE_FACTOR="$scale" \
        "$bin/KorvaneAuto" >/dev/null 2>&1) &
    pids+=($!)
    local main set batch
    main=$(window "KorvaneAuto >>")
    sleep 2
    screen_shot "main-window-$name"
    [ "$windows" = yes ] && window_shot "$main" main-window

    keys "$main" alt+s
    set=$(window "^Set$")
    screen_shot "settings-$name"
    [ "$windows" = yes ] && window_shot "$set" settings
    keys "$set" alt+i
    batch=$(window "^Batch file creation$")
    screen_shot "batch-file-creation-$name"
    [ "$windows" = yes ] && window_shot "$batch" batch-file-creation
    keys "$batch" Escape

    if [ "$windows" = yes ]; then
        keys "$set" alt+x
        window_shot "$(window "^Input file extension setting$")" extensions
        keys "$(window "^Input file extension setting$")" Escape
        # From the converter's box: its Reference, the output folder's box, its Reference.
        keys "$set" Tab Tab Tab space
        window_shot "$(window "^Selection of folder$")" folder-selection
        keys "$(window "^Selection of folder$")" Escape
    fi
    keys "$set" Escape

    if [ "$windows" = yes ]; then
        keys "$main" alt+a
        window_shot "$(window "^AboutVersion$")" about
        keys "$(window "^AboutVersion$")" Escape
        keys "$main" alt+b
        sleep 1.5
        window_shot "$main" run-during
        sleep 8
        window_shot "$main" run-after
    fi
    keys "$main" alt+e
    sleep 1
    stop_all
}

pass 1024x768 1024x768 1 no
pass 1366x768 1366x768 1 yes
pass 1366x768-scale1.5 1366x768 1.5 no
pass 1920x1080-scale2 1920x1080 2 no
