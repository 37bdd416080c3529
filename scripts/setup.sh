#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing, and nothing else.
# Sourced by run.sh and test.sh.

ka_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins
    googletest libgtest-dev libbenchmark-dev
    mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
    xvfb x11-utils xdotool imagemagick openbox
    fonts-dejavu-core fonts-crosextra-carlito fonts-liberation2 fonts-ipafont-gothic
    locales clang-format
    # The Windows program: Qt's source package is unpacked with dpkg-source; Wine's own fonts
    # and a Japanese font for its windows in code page 932; a window manager for screenshots.
    dpkg-dev fonts-wine fonts-ipafont-gothic openbox
)

ka_install_packages() {
    local missing=()
    for p in "${ka_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    # Wine reports code page 932 only with a Japanese locale.
    if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 >/dev/null 2>&1 || true
    fi
}

ka_build_native() {
    cmake --preset dev >/dev/null
    cmake --build --preset dev -j "$(nproc)"
}
