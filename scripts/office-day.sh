#!/usr/bin/env bash
# One day of a chain's office, driven through the real program under a
# virtual X server with the keyboard and the mouse: an office folder with
# the network set and no panel device of its own, a broker on 127.0.0.1 and
# three shops whose agents serve emulated panels and read them back every
# three seconds. A value typed on the picture, "ENVIAR" (which points to
# publishing), F4, the three shops green; one shop's results device stopped,
# its row red with the reason and its panels view framed; the device back,
# green again. It checks the pictures and the status line and the state
# window (read from the screen), what every shop's devices hold, and the
# shops' state through quinterra-send --network-state, and draws
# docs/office.png (or the path given) from the moment the shop is red.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/office.png}"
# Apart from run.sh's, screenshot.sh's and network-picture.sh's ports.
export QUINTERRA_DEMO_NETWORK_PANELS="${QUINTERRA_DEMO_NETWORK_PANELS:-27300}"
export QUINTERRA_DEMO_CHECK_EVERY=3
port="${QUINTERRA_DEMO_NETWORK_PORT:-28884}"

bash "$root/scripts/install-deps.sh" xdotool imagemagick tesseract-ocr tesseract-ocr-spa mosquitto openssl
[ -f "$root/build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator quinterra-agent \
  quinterra-network quinterra-send quinterra-image >/dev/null

source "$root/scripts/demo.sh"
source "$root/scripts/xvfb.sh"
picture_run_begin
# A stopped emulator must go on to end.
picture_run_before_stop() {
  local pid
  for pid in "${demo_pids[@]}"; do kill -CONT "$pid" 2>/dev/null || true; done
}
# The broker, started as root, runs as the user "mosquitto": it must reach
# its folder inside this one.
chmod 755 "$work"
started=$SECONDS

start_xvfb
demo_network_start "$work" "$port" 3
# demo_pids: the broker, then per shop its results and jackpots emulators and its agent.
stopped_device="${demo_pids[4]}"
office="$work/oficina"
(cd "$office" && exec "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
program_pid=$!

checks=0
fail() {
  echo "office-day.sh: $*" >&2
  # What the screen showed, for a look afterwards.
  rm -rf "$root/build/office-day-failure"
  mkdir -p "$root/build/office-day-failure"
  cp "$work"/*.png "$work"/*.log "$root/build/office-day-failure/" 2>/dev/null || true
  for shop in "$work"/tienda-*; do cp "$shop/agent.log" "$root/build/office-day-failure/$(basename "$shop").log"; done
  exit 1
}
pass() {
  checks=$((checks + 1))
  echo "ok $checks - $*"
}
# wait_until SECONDS WHAT COMMAND...: as wait_for, bounded by the clock, for
# checks that take a while themselves (reading the screen).
wait_until() {
  local deadline=$((SECONDS + $1)) what="$2"
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$what did not happen"
    sleep 0.3
  done
}
grab() { import -window "$window" "$work/window.png"; }
# read_text FILE X Y W H: the text of a part of a grabbed picture.
read_text() {
  # Black on white: the rows' colours would hide their text.
  convert "$1" -crop "$4x$5+$2+$3" +repage -resize 300% -colorspace Gray -threshold 55% "$work/ocr.png"
  tesseract "$work/ocr.png" - -l spa --psm 6 2>/dev/null | tr -s ' \n' ' '
}
status_line() {
  grab
  read_text "$work/window.png" 0 $((top + 845)) 1140 22
}
state_text() {
  import -window "$state" "$work/state.png"
  read_text "$work/state.png" 0 0 1140 260
}
# rows_of RGB: how many table rows of the state window have that colour
# (a row is about 30 px high and 1100 wide).
rows_of() {
  import -window "$state" "$work/state.png"
  convert "$work/state.png" -fill black +opaque "$1" -fill white -opaque "$1" \
    -format '%[fx:int(mean * w * h / 28000 + 0.5)]' info:
}
green='rgb(190,235,190)'
red='rgb(245,175,175)'
shops_green() { [ "$(rows_of "$green")" -ge 3 ]; }
one_red() { [ "$(rows_of "$red")" -ge 1 ] && [ "$(rows_of "$green")" -ge 2 ]; }
# The shops' state as quinterra-send sees it, one JSON object.
network_state() {
  "$root/build/send/quinterra-send" --network-state --network "$work/red" --json 2>/dev/null || true
}
held() {  # SHOP NAME BYTES: what a shop's emulator's display holds, in hexadecimal
  head -c "$3" "$work/$1/memory-$2/display.bin" | od -An -v -tx1 | tr -d ' \n'
}
images() {  # LINE: the saved document's results (1) or jackpots (2) image
  "$root/build/tools/quinterra-image" "$office/demo.ltr" | sed -n "$1p"
}

# --- an office: the network set, no device of its own ---
wait_for_active_panels
pass "both pictures drawn in colour at start-up, with no device"

# --- a value typed on the picture: DIA of the first Bonoloto row becomes 5 ---
cell_lit() {  # the DIA cell's box shows something other than black
  grab
  [ "$(convert "$work/window.png" -crop "36x30+36+$((top + 130))" +repage \
    -fx '(r + g + b > 0.6)' -format '%[fx:mean > 0.02]' info:)" = 1 ]
}
xdotool mousemove --window "$window" $((34 + 20)) $((top + 128 + 17)) click 1
sleep 0.3
xdotool type --delay 50 5
xdotool key Return
wait_until 5 "the typed value drawn in its cell" cell_lit
pass "the typed value is drawn on the picture"
xdotool key ctrl+s
sleep 0.5
[ "$(tr -d '\r\n' <"$office/demo.ltr" | cut -d, -f1)" = 5 ] || fail "the saved document does not hold the 5"

# --- "ENVIAR" in an office without devices ---
xdotool key ctrl+Return
sleep 0.5
said="$(status_line)"
case "$said" in
  *"Sin equipos en esta oficina: publique en la red con Red"*"Publicar en la red (F4)"*) pass "status line: $said" ;;
  *) fail "the status line says '$said'" ;;
esac

# --- F4: published, three shops green ---
publish_and_open_state
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowsize "$state" 1140 260 windowmove "$state" "$X" $((Y + HEIGHT - 300))
xdotool mousemove 1279 1023
wait_until 60 "three green rows" shops_green
pass "three shops green"
said="$(status_line)"
case "$said" in
  *"3 de 3 tiendas verificadas"*) pass "status line: $said" ;;
  *) fail "the status line says '$said'" ;;
esac
for shop in tienda-1 tienda-2 tienda-3; do
  [ "$(held "$shop" results 320)" = "$(images 1)" ] && [ "$(held "$shop" jackpots 360)" = "$(images 2)" ] ||
    fail "$shop's devices do not hold the office's document"
done
pass "every shop's devices hold the document typed in the office"
json="$(network_state)"
case "$json" in *'"all_fine":true'*) pass "quinterra-send --network-state: every shop fine" ;;
  *) fail "quinterra-send --network-state says $json" ;; esac

# --- a shop's results device stopped ---
kill -STOP "$stopped_device"
wait_until 60 "a red row" one_red
text="$(state_text)"
case "$text" in
  *"2 de 3 tiendas"*"un equipo del panel Resultados no"*"tienda-2 en línea con fallos 1 fallido verificado"*"responde"*)
    pass "the state window: $text" ;;
  *) fail "the state window reads '$text'" ;;
esac
json="$(network_state)"
why="$(printf '%s' "$json" | python3 -c 'import json,sys
for s in json.load(sys.stdin)["shops"]:
    if s["shop"] == "tienda-2": print(s["verdict"], "-", s["why"])')"
case "$why" in failing*) pass "tienda-2: $why" ;; *) fail "tienda-2 is $why" ;; esac
# The picture: the main window with the state window over it, the red row.
xdotool windowraise "$state" mousemove 1279 1023
sleep 0.5
mkdir -p "$(dirname "$out")"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -strip "$out"
echo "saved $out"
# Its panels view: double-click its row (the first: the shops that need a look come first).
xdotool mousemove --window "$state" 60 91 click --repeat 2 --delay 80 1
wait_for 10 "the panels view" find_named "Vista de los paneles"
view="$found"
framed() {
  import -window "$view" "$work/view.png"
  [ "$(convert "$work/view.png" -fill black +opaque 'rgb(255,255,0)' -fill white -opaque 'rgb(255,255,0)' \
    -format '%[fx:mean > 0.002]' info:)" = 1 ]
}
wait_until 10 "the shop's panels framed in the panels view" framed
pass "the panels view of tienda-2 frames what it cannot show"
xdotool windowfocus --sync "$view" key Escape
view_gone() { ! find_named "Vista de los paneles"; }
wait_for 5 "the panels view closing" view_gone
# A click below the rows leaves none selected: each shows its own colour.
xdotool mousemove --window "$state" 400 230 click 1 mousemove 1279 1023

# --- the device back: green again ---
kill -CONT "$stopped_device"
# The agent tries again after its back-off (5 s doubling) or at its next check.
wait_until 150 "three green rows again" shops_green
pass "the device back: three shops green again"
json="$(network_state)"
case "$json" in *'"all_fine":true'*) pass "quinterra-send --network-state: every shop fine again" ;;
  *) fail "quinterra-send --network-state says $json" ;; esac

echo "$checks checks passed in $((SECONDS - started)) s"
