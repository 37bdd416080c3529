#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, and nothing else. Sourced by run.sh (building and
# running) and test.sh (also testing).

# Building and running the program.
ka_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins fonts-dejavu-core
)

# Testing: GoogleTest and Google Benchmark; the Windows cross build run under Wine (a Japanese
# locale for code page 932); a virtual display, a window manager and tools for screenshots;
# formatting; the .deb (dpkg-dev also unpacks Qt's source for the Windows program); the MSI
# (wixl builds it, msitools reads it); fonts for Wine's windows and for Japanese names.
ka_test_packages=(
    googletest libgtest-dev libbenchmark-dev
    mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 locales
    xvfb x11-utils xdotool imagemagick openbox
    clang-format dpkg-dev wixl msitools
    fonts-crosextra-carlito fonts-liberation2 fonts-ipafont-gothic fonts-wine
)

# Installs the missing ones of the given packages.
ka_apt_install() {
    local missing=()
    for p in "$@"; do
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
}

ka_install_packages() {
    ka_apt_install "${ka_packages[@]}"
}

ka_install_test_packages() {
    ka_apt_install "${ka_packages[@]}" "${ka_test_packages[@]}"
    # Wine reports code page 932 only with a Japanese locale.
    if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 >/dev/null 2>&1 || true
    fi
}

# The program alone, without tests: what run.sh starts.
ka_build_program() {
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$(nproc)"
}

ka_build_native() {
    cmake --preset dev >/dev/null
    cmake --build --preset dev -j "$(nproc)"
}
