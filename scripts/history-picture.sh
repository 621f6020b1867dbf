#!/usr/bin/env bash
# Redraws docs/history.png (or the path given): the demonstration's panels
# with a record of their own (a draw sent, then a second one with a ball
# changed, then read back), the program under a virtual X server, Archivo >
# Historial de los paneles… (Ctrl+H), and the first delivery opened in
# "Vista de los paneles" beside it, drawn from the bytes the record kept.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/history.png}"
export QUINTERRA_DEMO_RESULTS_PORT="${QUINTERRA_DEMO_RESULTS_PORT:-27301}"
export QUINTERRA_DEMO_JACKPOTS_PORT="${QUINTERRA_DEMO_JACKPOTS_PORT:-27302}"

bash "$root/scripts/install-deps.sh" xdotool imagemagick
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator quinterra-send \
  quinterra-image >/dev/null

source "$root/scripts/demo.sh"
source "$root/scripts/xvfb.sh"
picture_run_begin
start_xvfb
demo_prepare_folder "$work"
demo_start_emulators "$work"

# The record: the sample draw, then the same with its first ball changed,
# then what the panels hold.
send="$root/build/send/quinterra-send"
(cd "$work" && "$send" --verify demo.ltr >/dev/null)
sed 's/^2,/7,/' "$work/demo.ltr" > "$work/segundo.ltr"
sleep 1
(cd "$work" && "$send" --verify segundo.ltr >/dev/null && "$send" --read segundo.ltr >/dev/null)

(cd "$work" && exec "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
program_pid=$!
wait_for_active_panels
find_named() { found="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)" && [ -n "$found" ]; }

xdotool windowfocus --sync "$window" key ctrl+h
wait_for 10 "the history window" find_named "Historial de los paneles"
history="$found"
xdotool windowsize "$history" 760 330 windowmove "$history" 500 680
sleep 0.5
# The second event (the first delivery, its jackpots panel): a double click
# on its row, below the filters and the table's header.
xdotool mousemove --window "$history" 120 99 click --repeat 2 --delay 80 1
wait_for 10 "the panels view" find_named "Vista de los paneles"
view="$found"
xdotool windowmove "$view" 0 0
xdotool windowraise "$history"
xdotool mousemove 1279 1023
sleep 0.5

mkdir -p "$(dirname "$out")"
import -window root "$work/screen.png"
convert "$work/screen.png" -strip "$out"
echo "saved $out"
