#!/usr/bin/env bash
# Redraws docs/network.png (or the path given) from the demonstration of
# run.sh --network under a virtual X server: the broker, two shops' agents
# with emulated panels and the office's program with the network set. The
# script publishes the office's document from the program (Red > Publicar
# en la red…, F4), opens Red > Estado de la red (F3), waits until both
# shops show the new version verified (green rows) and grabs the screen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/network.png}"
# Apart from run.sh's ports, so that a demonstration running meanwhile
# cannot answer in place of these.
export QUINTERRA_DEMO_RESULTS_PORT="${QUINTERRA_DEMO_RESULTS_PORT:-27201}"
export QUINTERRA_DEMO_JACKPOTS_PORT="${QUINTERRA_DEMO_JACKPOTS_PORT:-27202}"
export QUINTERRA_DEMO_NETWORK_PANELS="${QUINTERRA_DEMO_NETWORK_PANELS:-27200}"
port="${QUINTERRA_DEMO_NETWORK_PORT:-28883}"

bash "$root/scripts/install-deps.sh" xdotool imagemagick mosquitto openssl
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator quinterra-agent \
  quinterra-network

source "$root/scripts/demo.sh"
source "$root/scripts/xvfb.sh"
picture_run_begin
# The broker, started as root, runs as the user "mosquitto": it must reach
# its folder inside this one.
chmod 755 "$work"

start_xvfb

demo_network_start "$work" "$port"
(cd "$work/oficina" && exec "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
program_pid=$!
wait_for_active_panels


publish_and_open_state
# Over the lower part of the main window ($X, $Y, $WIDTH, $HEIGHT from
# wait_for_active_panels).
xdotool windowsize "$state" 1100 210 windowmove "$state" $((X + 20)) $((Y + HEIGHT - 240))
# Both shops' rows in green: verified at the new version.
green_rows() {
  import -window "$state" "$work/state.png"
  [ "$(convert "$work/state.png" -fill black +opaque 'rgb(190,235,190)' -fill white \
    -opaque 'rgb(190,235,190)' -format '%[fx:mean > 0.04]' info:)" = 1 ]
}
wait_for 30 "both shops verified" green_rows
# The pointer away, so that nothing is drawn hovered.
xdotool mousemove 1279 1023
sleep 0.3

mkdir -p "$(dirname "$out")"
import -window root "$work/screen.png"
# Without the time stamps ImageMagick adds, so that an unchanged screen
# gives an unchanged file.
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -strip "$out"
echo "saved $out"
