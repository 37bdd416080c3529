#!/usr/bin/env bash
# Sets up what this machine lacks, builds and runs every test: the core under the sanitizers,
# the native suite (core, GUI on the offscreen platform, end-to-end runs of the real program),
# then the Windows cross-build of the core under Wine in two code pages.
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ka_install_packages

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

step "Sanitizer build (address, undefined) of the core and its tests"
if cmake --preset asan >/dev/null && cmake --build --preset asan -j "$(nproc)"; then
    run_ctest build-asan/ctest.log --preset asan -j 2
else
    failed=1
fi

step "Windows cross-build under Wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX="$PWD/build-mingw/wineprefix"
if cmake --preset mingw >/dev/null && cmake --build --preset mingw -j "$(nproc)"; then
    mkdir -p "$WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1 || true
    echo "-- code page 1252 (LANG=C.UTF-8)"
    KA_EXPECT_CODE_PAGE=1252 LANG=C.UTF-8 LC_ALL=C.UTF-8 run_ctest build-mingw/ctest-1252.log --preset mingw
    echo "-- code page 932 (LANG=ja_JP.UTF-8)"
    KA_EXPECT_CODE_PAGE=932 LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 run_ctest build-mingw/ctest-932.log --preset mingw
    wineserver -k >/dev/null 2>&1 || true
else
    failed=1
fi

step "Native build and tests: core, GUI (offscreen), end to end"
if ka_build_native; then
    QT_QPA_PLATFORM=offscreen ctest --preset dev --output-on-failure -j 2 || failed=1
else
    failed=1
fi

exit $failed
