#!/usr/bin/env bash
# Screenshots of KorvaneAuto.exe under Wine: the main window and each dialog, in code page 1252
# and in code page 932, on a virtual X display with a window manager. Writes
# docs/screenshots/windows/<name>-<code page>.png. Needs the mingw-gui build.
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$PWD/build-mingw-gui/bin/KorvaneAuto.exe"
standin="$PWD/build-mingw-gui/bin/Korvane.exe"
out="$PWD/docs/screenshots/windows"
[ -x "$exe" ] || { echo "build the mingw-gui preset first" >&2; exit 1; }
mkdir -p "$out"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEPREFIX="$PWD/build-mingw-gui/wineprefix-shots"

work=$(mktemp -d /tmp/korvaneauto-shots.XXXXXX)
pids=()
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)

winpath() { echo "Z:${1//\//\\}"; }

# The newest visible top-level window whose name matches.
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
# Keys to a window, as the keyboard sends them to its focus. Wine takes a key only once the
# window is active, so each step waits a moment.
press() {
    local id=$1
    shift
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    sleep 0.5
    xdotool key --delay 150 "$@"
    sleep 1.5
}
shot() {
    sleep 1
    import -frame -window "$1" "$out/$2-$cp.png"
    echo "    $2-$cp.png"
}
for pass in "1252 C.UTF-8" "932 ja_JP.UTF-8"; do
    read -r cp locale <<<"$pass"
    export LANG=$locale LC_ALL=$locale
    echo "-- code page $cp"
    wineserver -k >/dev/null 2>&1 || true
    timeout 300 wineboot -u >/dev/null 2>&1 || true

    # Settings that fill every field; in code page 932 with Japanese folder names.
    base="$work/$cp"
    folder=drawings
    [ "$cp" = 932 ] && folder="図面"
    # Wine gives its processes the prefix's own LOCALAPPDATA, whatever the shell's says.
    data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tavrolint/KorvaneAuto"
    mkdir -p "$data" "$base/$folder/in" "$base/$folder/out" "$base/$folder/cmp"
    for n in A B C; do printf 'IN;SP1;PD%s;\r\n' "$n" >"$base/$folder/in/$n.hgl"; done
    printf '%s\r\n' "$(winpath "$base/$folder/in/A.hgl")" "$(winpath "$base/$folder/in/B.hgl")" \
        | iconv -f UTF-8 -t CP932 >"$base/$folder/list.txt"
    {
        printf '%s\r\n' "Version 10.11" "hgl;plt;hpg" "tif;tiff;bmp;jpg;gif;png;pcx;fpx" pdf emf dxf dwg \
            "igs;iges" "gbr;nc;drl" "$(winpath "$standin")" "$(winpath "$base/$folder/list.txt")" \
            "$(winpath "$base/$folder/in")\\*.hgl" "$(winpath "$base/$folder/out")\\" 600 \
            "$(winpath "$base/$folder/in")\\*.hgl" "$(winpath "$base/$folder/cmp")\\" 0 0 0 0 0 30 0
    } | iconv -f UTF-8 -t CP932 >"$data/KorvaneAuto.par"

    wine "$exe" >/dev/null 2>&1 &
    main=$(window "KorvaneAuto")
    sleep 2
    shot "$main" main-window

    # Every window is reached with its mnemonics, as a keyboard user reaches it; windows that
    # resize have no fixed points to click.
    press "$main" alt+s                       # Set
    set=$(window "^Set$")
    shot "$set" settings
    press "$set" alt+i                        # Input file selection
    shot "$(window "^Batch file creation$")" batch-file-creation
    press "$(window "^Batch file creation$")" Escape
    press "$set" alt+x                        # Input file extension
    shot "$(window "^Input file extension setting$")" extensions
    press "$(window "^Input file extension setting$")" Escape
    # From the converter's box, where Set opens: its Reference, the output folder, its Reference.
    press "$set" Tab Tab Tab space
    shot "$(window "^Selection of folder$")" folder
    press "$(window "^Selection of folder$")" Escape
    press "$set" shift+Tab shift+Tab space    # Reference of the converter: the system's dialog
    sleep 2
    shot "$(xdotool getactivewindow)" open-file
    xdotool key Escape
    sleep 1
    press "$set" Escape

    press "$main" alt+a                       # About Version
    about=$(window "AboutVersion")
    shot "$about" about
    xdotool key Return
    sleep 1
    xdotool windowclose "$main" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
done
