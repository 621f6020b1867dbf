#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#  1. the normal build and all its tests;
#  2. everything but the end-to-end tests under AddressSanitizer and
#     UndefinedBehaviorSanitizer;
#  3. the threaded link tests under ThreadSanitizer;
#  4. every fuzz target (clang's libFuzzer) from its committed seeds, with a
#     fixed seed and number of runs (scripts/fuzz.sh --ci).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"
bash "$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
# Each stage says when it starts, in seconds from the start: CI has a budget.
stage() { echo "== $1 (at ${SECONDS} s)"; }

stage "build and test"
bash "$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure -j "$jobs" --timeout 300)

stage "address and undefined-behaviour sanitizers"
cmake -S "$root" -B "$root/build-asan" -DQUINTERRA_BENCH=OFF \
  -DQUINTERRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The standard C++ core with leak checks; the windows and links without them
# (Qt keeps process-lifetime allocations). The end-to-end tests, which lean on
# real timers, run in the normal build only.
(cd "$root/build-asan" && ctest --output-on-failure -j "$jobs" -L core --timeout 300)
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j "$jobs" -L gui -LE "tsan|e2e" --timeout 300)

stage "thread sanitizer (queue, serial worker, broker client)"
cmake -S "$root" -B "$root/build-tsan" -DQUINTERRA_BENCH=OFF \
  -DQUINTERRA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug >/dev/null
tsan_targets=$(cd "$root/build-tsan" && cmake --build . --target help | awk '/_tsan_tests/ {print $2}' | tr '\n' ' ')
if [ -n "$tsan_targets" ]; then
  cmake --build "$root/build-tsan" -j "$jobs" --target $tsan_targets
  (cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L tsan --timeout 300)
fi

stage "fuzz targets (fixed seed and runs)"
bash "$root/scripts/fuzz.sh" --ci

# 5. What needs no Qt, built for Windows and tested under Wine.
stage "windows build under Wine"
bash "$root/scripts/test-windows.sh"

# 6. The Debian package: built, checked, installed, started and removed.
stage "Debian package"
bash "$root/scripts/test-package.sh"
echo "all test stages passed (${SECONDS} s)"
