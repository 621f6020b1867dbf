#!/usr/bin/env bash
# Builds the Debian package build-pkg/quinterra_<version>_<arch>.deb: the
# programs, the menu entry and its icon, the manual pages and the AppStream
# description. Its dependencies are found by dpkg-shlibdeps. Install it with
#   sudo apt install ./build-pkg/quinterra_<version>_<arch>.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-pkg"
bash "$root/scripts/install-deps.sh" dpkg-dev file

# Debian's hardening flags (fortified functions, stack protector, full RELRO),
# read once by CMake when the folder is first configured.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUINTERRA_TESTS=OFF -DQUINTERRA_BENCH=OFF >/dev/null
cmake --build "$out" -j "$(nproc)"
rm -f "$out"/quinterra_*.deb
(cd "$out" && cpack -G DEB >/dev/null)
ls "$out"/quinterra_*.deb
