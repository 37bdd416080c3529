#!/usr/bin/env bash
# Builds the static Qt for the Windows cross build from Debian's qt6-base source package and
# installs it into a cache folder outside the source tree. A second run finds it and does nothing.
# Prints the install prefix as its last line of output.
#   KA_QT_JOBS     parallel compile jobs (default: number of processors)
#   KA_QT_CACHE    cache folder (default: ~/.cache/korvaneauto)
#   KA_QT_MIRROR   Debian mirror for the source package (default: http://deb.debian.org/debian)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# The host's Qt tools (moc, rcc, uic) build the target Qt, so both must be the same version.
deb_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
qt_version="${deb_version%%+*}"
cache="${KA_QT_CACHE:-$HOME/.cache/korvaneauto}"
prefix="$cache/qt-$qt_version-mingw-static"
jobs="${KA_QT_JOBS:-$(nproc)}"
mirror="${KA_QT_MIRROR:-http://deb.debian.org/debian}"

# Only what the GUI and its tests need; every library Qt bundles is taken from its own sources,
# so nothing of the host leaks into the Windows build.
qt_options=(
    -release -static -opensource -confirm-license
    -nomake examples -nomake tests
    -no-pkg-config -no-icu -no-opengl -no-dbus
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml -no-feature-vulkan -no-feature-jpeg -no-feature-tabletevent
    -qt-zlib -qt-pcre -qt-harfbuzz -qt-freetype -qt-libpng -qt-doubleconversion
    -feature-testlib
)
patches=("$here"/qt-patches/*.patch)
# The stamp names what was built, so a change of options or patches leads to a rebuild.
stamp_text="$(printf '%s\n' "$deb_version" "${qt_options[@]}"; cat "${patches[@]}")"
stamp_hash="$(printf '%s' "$stamp_text" | sha256sum | cut -c1-16)"

say() { echo "[qt-mingw $(date -u +%H:%M:%S)] $*" >&2; }

mkdir -p "$cache"
# Two runs at once (two test.sh, or a build and a test run) must not build twice.
exec 9>"$prefix.lock"
if ! flock -n 9; then
    say "another run is building $prefix; waiting for it"
    flock 9
fi

if [ -f "$prefix/.ka-built" ] && [ "$(cat "$prefix/.ka-built")" = "$stamp_hash" ]; then
    say "found Qt $qt_version for MinGW-w64 in $prefix"
    echo "$prefix"
    exit 0
fi

start=$SECONDS
work="$cache/qt-$qt_version-mingw-work"
# A build cut short (a stopped machine, a killed test run) resumes where it stopped when it was
# configured with the same source, options and patches; anything else starts afresh.
if [ -f "$work/build/build.ninja" ] && [ -f "$work/.ka-stamp" ] &&
    [ "$(cat "$work/.ka-stamp")" = "$stamp_hash" ]; then
    say "resuming the build in $work"
    rm -rf "$prefix"
else
    rm -rf "$work" "$prefix"
    mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts"

    say "fetching the source of qt6-base $deb_version"
    # An apt configuration of our own: the machine's sources stay untouched, no root needed.
    # Updates and security too: the host's Qt may come from either.
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    {
        echo "deb-src [signed-by=$keyring] $mirror bookworm main"
        echo "deb-src [signed-by=$keyring] $mirror bookworm-updates main"
        echo "deb-src [signed-by=$keyring] ${mirror%/debian}/debian-security bookworm-security main"
    } >"$work/apt/sources.list"
    apt_opts=(
        -o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=$work/apt/parts"
        -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
        -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)"
    )
    apt-get "${apt_opts[@]}" -qq update
    (cd "$work" && apt-get "${apt_opts[@]}" -qq source "qt6-base=$deb_version" >/dev/null)
    src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"

    for p in "${patches[@]}"; do
        say "patch $(basename "$p"): $(head -n1 "$p")"
        patch -d "$src" -p1 --quiet <"$p"
    done

    toolchain="$work/toolchain.cmake"
    cat >"$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

    say "configuring (static, minimal) into $prefix"
    mkdir -p "$work/build"
    (cd "$work/build" && "$src/configure" -prefix "$prefix" "${qt_options[@]}" \
        -qt-host-path /usr -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$work/configure.log" 2>&1) || {
        tail -n 60 "$work/configure.log" >&2
        say "configure failed"
        exit 1
    }
    echo "$stamp_hash" >"$work/.ka-stamp"
fi
say "building with $jobs jobs ($((SECONDS - start)) s so far)"
cmake --build "$work/build" --parallel "$jobs" >"$work/build.log" 2>&1 || {
    grep -E -B5 -A20 'error|FAILED' "$work/build.log" | head -n 120 >&2
    say "build failed"
    exit 1
}
cmake --install "$work/build" >/dev/null
echo "$stamp_hash" >"$prefix/.ka-built"
rm -rf "$work"
say "Qt $qt_version for MinGW-w64 built in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s," \
    "$(du -sh "$prefix" | cut -f1) installed"
echo "$prefix"
