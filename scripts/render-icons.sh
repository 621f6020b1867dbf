#!/usr/bin/env bash
# Renders dist/icons/quinterra.svg into the PNG sizes of the icon theme
# (dist/icons/<size>/quinterra.png). The PNGs are committed, so that the
# build needs no renderer: run this after changing the drawing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
command -v rsvg-convert >/dev/null || bash "$root/scripts/install-deps.sh" librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$root/dist/icons/$size"
  rsvg-convert -w "$size" -h "$size" "$root/dist/icons/quinterra.svg" \
    -o "$root/dist/icons/$size/quinterra.png"
done
echo "rendered dist/icons/*/quinterra.png"
