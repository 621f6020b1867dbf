#!/usr/bin/env bash
# The Windows stage: everything that needs no Qt (panel model, bus, emulator
# core, device cycle, serial port and byte queue, their tests and
# quinterra-image) cross-built with mingw-w64 in build-win/ and run under
# Wine without a display. The serial tests talk to pseudo-terminals through
# quinterra-pty-relay; quinterra-image.exe must print what the Linux tool
# prints for assets/sample.ltr.
#
# Wine names COM1 after /dev/ttyS0, the console on our machines: COM1 is set
# to build-win/com1 (a link the relay points at a fresh pseudo-terminal for
# each test) and checked before any test runs. Wine hands /dev/ttyS0 the next
# free number; no test opens any COM port but COM1.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-win"
jobs="$(nproc)"
started=$SECONDS

mapfile -t packages < <(grep -v '^#' "$root/scripts/windows-packages.txt" | grep .)
bash "$root/scripts/install-deps.sh" "${packages[@]}"

echo "== windows: cross build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUINTERRA_GUI=OFF -DQUINTERRA_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

echo "== windows: native helpers (pseudo-terminal relay, Linux image tool)"
mkdir -p "$build/native"
g++ -std=c++17 -O2 -Wall -Wextra -o "$build/native/quinterra-pty-relay" "$root/tests/support/pty_relay_main.cpp"
cmake -S "$root" -B "$build/native/tree" -DCMAKE_BUILD_TYPE=Release -DQUINTERRA_GUI=OFF \
  -DQUINTERRA_TESTS=OFF -DQUINTERRA_BENCH=OFF >/dev/null
cmake --build "$build/native/tree" -j "$jobs" --target quinterra-image >/dev/null

echo "== windows: Wine prefix with COM1 on a pseudo-terminal"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
link="$build/com1"
relay_pid=""
cleanup() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT
ln -sfn "$link.none" "$link"
mkdir -p "$WINEPREFIX"
# The server's own output (object dumps when it ends) goes to a log.
"$wineserver" -p 2>>"$build/wineserver.log"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$link" /f >/dev/null 2>>"$build/wineserver.log"
# The device map is made when the server starts: restart it to take COM1.
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p 2>>"$build/wineserver.log"
"$wine" cmd /c exit 0 2>>"$build/wineserver.log"
if [ "$(readlink "$WINEPREFIX/dosdevices/com1")" != "$link" ]; then
  echo "COM1 is not mapped to $link; refusing to run serial tests" >&2
  ls -l "$WINEPREFIX/dosdevices" >&2
  exit 1
fi
for mapped in "$WINEPREFIX"/dosdevices/com*; do
  echo "  $(basename "$mapped") -> $(readlink "$mapped")"
done

"$build/native/quinterra-pty-relay" "$link" >"$build/relay.port" &
relay_pid=$!
for _ in $(seq 50); do [ -s "$build/relay.port" ] && break; sleep 0.1; done
QUINTERRA_PTY_RELAY="$(head -1 "$build/relay.port")"
export QUINTERRA_PTY_RELAY

echo "== windows: tests under Wine"
passed=0 failed=0 skipped=0 failing=()
# GoogleTest's closing lines: "[  PASSED  ] 25 tests.", "[  FAILED  ] 1 test, listed below:".
count() { sed -n "s/^\[  $1 *\] \([0-9]*\) tests\?[.,].*/\1/p" <<<"$output"; }
while read -r exe; do
  name="$(basename "$exe" .exe)"
  if output="$(timeout 300 "$wine" "$exe" 2>&1)"; then status=ok; else status=FAILED; failing+=("$name"); fi
  ok="$(count PASSED)" skip="$(count SKIPPED)" bad="$(count FAILED)"
  passed=$((passed + ${ok:-0})) skipped=$((skipped + ${skip:-0})) failed=$((failed + ${bad:-0}))
  echo "  $name: ${ok:-0} passed, ${bad:-0} failed, ${skip:-0} skipped ($status)"
  [ "$status" = ok ] || echo "$output"
done < <(find "$build/tests" -name '*_tests.exe' | sort)

echo "== windows: quinterra-image.exe against the Linux tool"
linux_image="$("$build/native/tree/tools/quinterra-image" "$root/assets/sample.ltr")"
windows_image="$("$wine" "$build/tools/quinterra-image.exe" "$root/assets/sample.ltr" | tr -d '\r')"
if [ "$windows_image" = "$linux_image" ] && [ "$(wc -l <<<"$linux_image")" -eq 2 ]; then
  echo "  same two lines"
else
  echo "  quinterra-image.exe differs from the Linux tool" >&2
  failing+=(quinterra-image)
fi

echo "windows: $passed passed, $failed failed, $skipped skipped ($((SECONDS - started)) s)"
if [ ${#failing[@]} -gt 0 ]; then
  echo "failed under Wine: ${failing[*]}" >&2
  exit 1
fi
