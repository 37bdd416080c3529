#!/usr/bin/env bash
# Sets up what this machine lacks, builds and runs every test: the core under the sanitizers,
# the native suite (core, GUI on the offscreen platform, end-to-end runs of the real program),
# then the Windows cross-build of the core under Wine in two code pages.
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ka_install_test_packages

failed=0
step() {
    echo
    echo "==== $*"
}

# Runs ctest quietly into a log; shows its summary, and the failures' output when there are any.
run_ctest() {
    local log="$1"
    shift
    if ctest "$@" --output-on-failure >"$log" 2>&1; then
        grep -E 'tests passed|tests failed|Total Test time' "$log"
    else
        grep -E -B2 -A40 '\*\*\*Failed|\(Failed\)|\[  FAILED  \]' "$log" | head -n 200
        tail -n 15 "$log"
        failed=1
    fi
}

# Runs a GoogleTest program into a log under a time limit; shows its counts, and the failures
# with their output when there are any.
run_gtest() {
    local log="$1" limit="$2"
    shift 2
    local code=0
    timeout "$limit" "$@" >"$log" 2>&1 || code=$?
    local counts
    counts=$(grep -a -E '^\[  (PASSED|FAILED|SKIPPED) +\] [0-9]+ test' "$log" | tr -s ' ' | paste -sd ' ')
    echo "    $(basename "${@: -1}"): ${counts:-no summary} (exit $code)"
    if [ "$code" != 0 ] || ! grep -a -q -E '^\[  PASSED  \]' "$log"; then
        grep -a -E -B2 -A25 '^\[  FAILED  \]|Failure$' "$log" | grep -a -v 'Read access denied' | head -n 150
        tail -n 10 "$log"
        failed=1
    fi
}

step "Formatting"
if command -v clang-format >/dev/null; then
    bad=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror 2>&1 | grep -c 'error:' || true)
    if [ "$bad" != "0" ]; then
        echo "clang-format: $bad places not formatted"
        failed=1
    else
        echo "all sources formatted"
    fi
fi

step "Layers"
scripts/check-layers.sh || failed=1

step "Sanitizer build (address, undefined) of the core and its tests"
if cmake --preset asan >/dev/null && cmake --build --preset asan -j "$(nproc)"; then
    run_ctest build-asan/ctest.log --preset asan -j 2
else
    failed=1
fi

# Starts a persistent wineserver and brings the prefix up to date.
wine_start() {
    mkdir -p "$WINEPREFIX"
    wineserver -p >/dev/null 2>&1 || true
    timeout 300 wineboot -u >/dev/null 2>&1 || true
}

step "Windows cross-build under Wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX="$PWD/build-mingw/wineprefix"
if cmake --preset mingw >/dev/null && cmake --build --preset mingw -j "$(nproc)"; then
    for pass in "1252 C.UTF-8" "932 ja_JP.UTF-8"; do
        read -r code_page locale <<<"$pass"
        echo "-- code page $code_page (LANG=$locale)"
        # A running wineserver before ctest starts: otherwise every test waits for one to start.
        LANG=$locale LC_ALL=$locale wine_start
        # A Wine process now and then dies at its start before the test runs (no output, a
        # hundredth of a second): such a test gets one more try; a real failure fails both.
        KA_EXPECT_CODE_PAGE=$code_page LANG=$locale LC_ALL=$locale \
            run_ctest "build-mingw/ctest-$code_page.log" --preset mingw --repeat until-pass:2
        wineserver -k >/dev/null 2>&1 || true
    done
else
    failed=1
fi

# ---- The whole program for Windows -------------------------------------------------------------
# KorvaneAuto.exe with its windows, linked against a static Qt built from Debian's source (cached
# in ~/.cache/korvaneauto: about half an hour on two cores the first time). Its GUI and end-to-end
# tests run under Wine on a virtual X display, in code pages 1252 and 932; then the ZIP package is
# unpacked and the program in it converts a two-line batch list, and the MSI is installed, upgraded
# and removed silently in a fresh prefix.
windows_program_stage() {
    step "Windows program: static Qt"
    local started=$SECONDS qt
    if ! qt=$(scripts/qt-mingw.sh | tail -n 1); then
        failed=1
        return
    fi
    echo "static Qt ready after $((SECONDS - started)) s: $qt"

    # The core tests ran in the stage before; here only what the windows add.
    step "Windows program: build and package"
    if ! KA_QT_PREFIX="$qt" cmake --preset mingw-gui >/dev/null ||
        ! cmake --build --preset mingw-gui -j "$(nproc)" \
            --target KorvaneAuto Korvane gui_tests e2e_tests msi ||
        ! (cd build-mingw-gui && cpack -G ZIP >cpack.log 2>&1); then
        failed=1
        return
    fi
    ls -l build-mingw-gui/bin/KorvaneAuto.exe build-mingw-gui/package/*.zip \
        build-mingw-gui/package/*.msi | awk '{print $5, $9}'

    local display_file
    display_file=$(mktemp)
    # The size of Qt's offscreen screen, which the GUI tests' expectations are made for.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    local xvfb=$!
    for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$display_file")"
    rm -f "$display_file"

    export WINEPREFIX="$PWD/build-mingw-gui/wineprefix"
    local pass code_page locale
    for pass in "1252 C.UTF-8" "932 ja_JP.UTF-8"; do
        read -r code_page locale <<<"$pass"
        echo "-- GUI and end-to-end tests under Wine, code page $code_page (LANG=$locale)"
        # A running wineserver before ctest starts: otherwise every test waits for one to start.
        LANG=$locale LC_ALL=$locale wine_start
        # Each test program runs once per pass rather than once per test: a Wine process start
        # costs seconds.
        local program
        for program in gui_tests e2e_tests; do
            KA_EXPECT_CODE_PAGE=$code_page LANG=$locale LC_ALL=$locale \
                run_gtest "build-mingw-gui/$program-$code_page.log" 1500 \
                wine "build-mingw-gui/bin/$program.exe"
        done
        wineserver -k >/dev/null 2>&1 || true
    done

    echo "-- the ZIP package"
    LANG=C.UTF-8 LC_ALL=C.UTF-8 wine_start
    scripts/windows-package-check.sh build-mingw-gui/package || failed=1
    wineserver -k >/dev/null 2>&1 || true

    # In a fresh prefix of its own: install, program run, shortcut, removal, upgrade, downgrade.
    echo "-- the MSI package"
    LANG=C.UTF-8 LC_ALL=C.UTF-8 scripts/windows-msi-check.sh build-mingw-gui || failed=1
    kill "$xvfb" 2>/dev/null || true
    unset DISPLAY
}


# KA_WINDOWS_PROGRAM=0 ./test.sh leaves the Windows program out (a quick local run).
if [ "${KA_WINDOWS_PROGRAM:-1}" = 1 ]; then
    windows_program_stage
else
    step "Windows program (KorvaneAuto.exe with its windows)"
    echo "skipped: KA_WINDOWS_PROGRAM=0"
fi

step "Native build and tests: core, GUI (offscreen), end to end"
if ka_build_native; then
    QT_QPA_PLATFORM=offscreen ctest --preset dev --output-on-failure -j 2 || failed=1
else
    failed=1
fi

# The .deb, installed into a scratch root with its own package database, and the demo run by the
# program installed there.
step "Package: .deb installed into a scratch root, demo from there"
package_check() {
    local deb root
    (cd build && cpack -G DEB >cpack.log 2>&1) || { tail -n 20 build/cpack.log; return 1; }
    deb=$(ls build/package/korvaneauto_*.deb)
    echo "$deb:"
    dpkg-deb -c "$deb" | awk '{print "   " $6, $7, $8}'
    root=$(mktemp -d /tmp/korvaneauto-root.XXXXXX)
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
    # Its libraries are the host's: the scratch root has no Qt of its own to depend on.
    dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless \
        --log=/dev/null -i "$deb" >/dev/null 2>&1 || return 1
    dpkg --root="$root" -l korvaneauto | tail -n 1
    bash scripts/demo.sh "$root/usr/lib/korvaneauto" || return 1
    rm -rf "$root"
}
package_check || failed=1

exit $failed
