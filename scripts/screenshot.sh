#!/usr/bin/env bash
# Redraws docs/screenshot.png (or the path given) from the real demonstration:
# the two emulated panels of run.sh, the program under a virtual X server in
# a fresh demonstration folder, both panels made active by the start-up
# check, one press of "ENVIAR", and the green report ("Panel verificado") above both pictures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/screenshot.png}"
# Apart from run.sh's ports, so that a demonstration running meanwhile
# cannot answer in place of these emulators.
export QUINTERRA_DEMO_RESULTS_PORT="${QUINTERRA_DEMO_RESULTS_PORT:-27101}"
export QUINTERRA_DEMO_JACKPOTS_PORT="${QUINTERRA_DEMO_JACKPOTS_PORT:-27102}"

bash "$root/scripts/install-deps.sh" xdotool imagemagick
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator

source "$root/scripts/demo.sh"
source "$root/scripts/xvfb.sh"
picture_run_begin

start_xvfb

demo_prepare_folder "$work/demo"
demo_start_emulators "$work/demo"
(cd "$work/demo" && exec "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
program_pid=$!

wait_for_active_panels
press_enviar
# The report ("Panel verificado") is written in green over each picture, at (16, 88) and (640, 88).
green_label() {
  import -window "$window" "$work/window.png"
  local x
  for x in 16 640; do
    [ "$(convert "$work/window.png" -crop "180x18+$x+$((top + 88))" +repage \
      -fx '(r < 0.3 && g > 0.8 && b < 0.3)' -format '%[fx:mean > 0]' info:)" = 1 ] || return 1
  done
}
wait_for 30 "the green report on both panels" green_label

mkdir -p "$(dirname "$out")"
# Without the time stamps ImageMagick adds, so that an unchanged window gives
# an unchanged file.
import -window "$window" "$work/window.png"
convert "$work/window.png" -strip "$out"
echo "saved $out"
