#!/usr/bin/env bash
# Sets everything up and runs every test: installs what is missing, builds, runs CTest; then
# builds the same tests once more with AddressSanitizer and UndefinedBehaviorSanitizer (leak
# checking on) in a second build folder and runs them there too.
# TINDREL_LONG_TESTS=1 switches on the long modes (hundreds of crash trials, 2,000 power-loss trials).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Line tables (-g1) are all a failing test's backtrace needs, and compile a quarter faster than -g.
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh" -DTINDREL_BUILD_TESTS=ON -DTINDREL_BUILD_BENCH=ON -DTINDREL_SANITIZE=OFF \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
cd "${BUILD_DIR:-$root/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900

# The sanitizer pass: the benchmarks are left out, their figures mean nothing there.
sanitize_dir=${SANITIZE_BUILD_DIR:-$root/build-sanitize}
BUILD_DIR=$sanitize_dir "$root/scripts/build.sh" -DTINDREL_SANITIZE=ON -DTINDREL_BUILD_TESTS=ON -DTINDREL_BUILD_BENCH=OFF
cd "$sanitize_dir"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900
