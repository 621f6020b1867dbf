#!/usr/bin/env bash
# Saves a picture of the main window with a filled document and both panels
# active to docs/screenshot.png (or the path given), under a virtual X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/screenshot.png}"
build="${QUINTERRA_BUILD_DIR:-$root/build}"
program="$build/app/quinterra"

if [ ! -x "$program" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target quinterra
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/assets/sample.ltr" "$work/sample.ltr"
printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\nPanelResultados=1\r\nPanelBotes=1\r\n' \
  "$work/sample.ltr" > "$work/config.ini"

mkdir -p "$(dirname "$out")"
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
cd "$work"
QUINTERRA_SCREENSHOT="$out" timeout 60 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$program"
echo "saved $out"
