#!/usr/bin/env bash
# Sets everything up and runs every test: installs what is missing, builds, runs CTest.
# TINDREL_LONG_TESTS=1 switches on the long modes (hundreds of crash trials).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh"
cd "${BUILD_DIR:-$root/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900
