#!/usr/bin/env bash
# Sets up what this machine lacks, builds, and starts KorvaneAuto.
# Without a display it runs a short unattended demo instead and lists what it produced.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ka_install_packages
ka_build_program

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build-release/bin/KorvaneAuto "$@"
fi
exec bash scripts/demo.sh build-release/bin
