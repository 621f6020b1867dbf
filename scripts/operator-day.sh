#!/usr/bin/env bash
# One draw day of a shop operator, driven through the real program under a
# virtual X server with the keyboard and the mouse, against two emulated
# panels on 127.0.0.1: a Bonoloto row typed by Tab and digits over the old
# values, one of them out of range; "Guardar"; "ENVIAR" with the jackpots
# panel's device stopped; that panel checked again while it is still down;
# a change after the delivery; the device back, its panel re-ticked under
# Comunicaciones > Actualizar, and "ENVIAR" again; the log saved from the
# search window. It checks the cell texts in the saved document, the status
# line (read from the screen), the reports over the pictures, what each
# emulator holds and log.txt, and draws docs/operator.png (or the path
# given) from the moment the jackpots panel is grey and says why.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/operator.png}"
# Apart from run.sh's and screenshot.sh's ports.
export QUINTERRA_DEMO_RESULTS_PORT="${QUINTERRA_DEMO_RESULTS_PORT:-27201}"
export QUINTERRA_DEMO_JACKPOTS_PORT="${QUINTERRA_DEMO_JACKPOTS_PORT:-27202}"

bash "$root/scripts/install-deps.sh" xdotool imagemagick tesseract-ocr tesseract-ocr-spa
[ -f "$root/build/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator quinterra-image >/dev/null

source "$root/scripts/demo.sh"
source "$root/scripts/xvfb.sh"
picture_run_begin
# A stopped emulator must go on to end.
picture_run_before_stop() {
  local pid
  for pid in "${demo_pids[@]}"; do kill -CONT "$pid" 2>/dev/null || true; done
}
started=$SECONDS

start_xvfb

demo="$work/demo"
demo_prepare_folder "$demo"
demo_start_emulators "$demo"
jackpots_emulator="${demo_pids[1]}"
(cd "$demo" && exec "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
program_pid=$!
wait_for_active_panels

# wait_until SECONDS WHAT COMMAND...: as wait_for, bounded by the clock, for
# checks that take a while themselves (reading the screen).
wait_until() {
  local deadline=$((SECONDS + $1)) what="$2"
  shift 2
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "$(basename "$0"): $what did not happen" >&2
      return 1
    fi
    sleep 0.2
  done
}

checks=0
fail() {
  echo "operator-day.sh: $*" >&2
  exit 1
}
pass() {
  checks=$((checks + 1))
  echo "ok $checks - $*"
}
grab() { import -window "$window" "$work/window.png"; }
# status_line: the status line below the pictures, read from the screen.
status_line() {
  grab
  convert "$work/window.png" -crop "1140x22+0+$((top + 845))" +repage -resize 300% \
    -colorspace Gray "$work/status.png"
  tesseract "$work/status.png" - -l spa --psm 7 2>/dev/null | tr -s ' \n' ' '
}
# colour_in X Y W H FX: some pixel of the rectangle (client coordinates
# below the menu bar) satisfies FX.
colour_in() {
  [ "$(convert "$work/window.png" -crop "$3x$4+$1+$(($2 + top))" +repage -fx "$5" \
    -format '%[fx:mean > 0]' info:)" = 1 ]
}
red='(r > 0.8 && g < 0.3 && b < 0.3)'
green='(r < 0.3 && g > 0.8 && b < 0.3)'
yellow='(r > 0.8 && g > 0.8 && b < 0.3)'
report_is() {  # X COLOUR: the report over a picture (at y 88) is drawn in COLOUR
  grab
  colour_in "$1" 88 200 17 "$2"
}
banner_yellow() {  # X: the banner over a picture is yellow (the panel is active)
  grab
  colour_in "$1" 30 4 4 "$yellow"
}
# Comunicaciones > Actualizar > the Nth item, by the keyboard: Alt+C opens
# the menu; Buscar Equipos, Equipos Activos, Actualizar.
toggle_actualizar() {
  xdotool key alt+c
  sleep 0.3
  xdotool key Down Down Down Right
  sleep 0.2
  [ "$1" = 2 ] && xdotool key Down
  xdotool key Return
  sleep 0.3
}
field() {  # N: the Nth text (from 0) of the saved document
  tr -d '\r\n' <"$demo/demo.ltr" | cut -d, -f$(($1 + 1))
}
images() {  # LINE: the document's results (1) or jackpots (2) image, in hexadecimal
  "$root/build/tools/quinterra-image" "$demo/demo.ltr" | sed -n "$1p"
}
held() {  # NAME BYTES: what an emulator's display holds, in hexadecimal
  head -c "$2" "$demo/memory-$1/display.bin" | od -An -v -tx1 | tr -d ' \n'
}

# --- the morning's Bonoloto row: DIA, six numbers, C, R, over the old ones ---
[ "$(field 0),$(field 1),$(field 2)" = "2,4,11" ] || fail "the sample document changed"
xdotool mousemove --window "$window" $((34 + 20)) $((top + 128 + 17)) click 1
sleep 0.3
xdotool type --delay 50 5
for value in 3 12 60 27 33 41 8 1; do
  xdotool key Tab
  xdotool type --delay 50 "$value"
done
xdotool key Tab  # leaves R: the 60 was emptied three cells back
sleep 0.3
said="$(status_line)"
case "$said" in
  *"Valor 60 fuera de rango (1"*"49): la casilla queda vac"*) pass "status line: $said" ;;
  *) fail "the status line says '$said'" ;;
esac
xdotool key Return ctrl+s
sleep 0.5
row="$(for n in 0 1 2 3 4 5 6 7 8; do printf '%s,' "$(field $n)"; done)"
[ "$row" = "5,3,12,,27,33,41,8,1," ] || fail "the saved row is $row"
pass "saved row: $row (typing replaced every old value; 60 left its cell empty)"

# --- "ENVIAR" with the jackpots device stopped ---
kill -STOP "$jackpots_emulator"
jackpots_before="$(md5sum <"$demo/memory-jackpots/display.bin" 2>/dev/null || echo none)"
xdotool key ctrl+Return
wait_until 30 "the red report over the jackpots picture" report_is 640 "$red"
wait_until 10 "the green report over the results picture" report_is 16 "$green"
pass "reports: results green, jackpots red"
said="$(status_line)"
case "$said" in
  *"Panel Resultados: enviado y verificado"*"Panel Botes: sin respuesta de"*"Panel Botes (127.0.0.1)"*) pass "status line: $said" ;;
  *) fail "the status line says '$said'" ;;
esac
[ "$(held results 320)" = "$(images 1)" ] || fail "the results device does not hold the document"
pass "the results device holds the saved document's image"
[ "$(md5sum <"$demo/memory-jackpots/display.bin" 2>/dev/null || echo none)" = "$jackpots_before" ] ||
  fail "the stopped jackpots device was written"
pass "the stopped jackpots device was not written"

# --- its panel checked again while it is still down: grey, and why ---
toggle_actualizar 2  # unticked
toggle_actualizar 2  # ticked again: the check finds no answer
# reason_line: the line across the middle of the grey jackpots picture.
reason_line() {
  grab
  convert "$work/window.png" -crop "502x20+632+$((top + 395))" +repage -resize 300% \
    -colorspace Gray -negate "$work/reason.png"
  tesseract "$work/reason.png" - -l spa --psm 7 2>/dev/null | tr -s ' \n' ' '
}
grey_reason() {
  banner_yellow 720 && return 1
  reason="$(reason_line)"
  case "$reason" in *"Sin respuesta: revise la conex"*"Actualizar > Panel Botes"*) return 0 ;; esac
  return 1
}
wait_until 30 "the jackpots panel grey, saying that its device did not answer" grey_reason
pass "the grey jackpots panel says: $reason"
# A change after the delivery: C of the row becomes 9.
xdotool mousemove --window "$window" $((361 + 20)) $((top + 128 + 17)) click 1
sleep 0.2
xdotool type --delay 50 9
xdotool key Return
sleep 0.3
# The label's dark blue covers most of its place on the yellow banner.
unsent() {
  grab
  [ "$(convert "$work/window.png" -crop "128x21+442+$((top + 47))" +repage \
    -fx '(r < 0.25 && g < 0.25 && b > 0.25 && b < 0.5)' -format '%[fx:mean > 0.5]' info:)" = 1 ]
}
wait_until 5 "Cambios sin enviar" unsent
pass "\"Cambios sin enviar\" beside ENVIAR"
# The picture: the moment the red report is lit (it blinks).
wait_until 5 "the lit red report" report_is 640 "$red"
mkdir -p "$(dirname "$out")"
convert "$work/window.png" -strip "$out"
echo "saved $out"

# --- the device back, its panel re-ticked, "ENVIAR" again ---
kill -CONT "$jackpots_emulator"
toggle_actualizar 2
toggle_actualizar 2
wait_until 30 "the jackpots panel active again" banner_yellow 720
pass "the jackpots panel is active again"
xdotool key ctrl+s ctrl+Return
wait_until 30 "both reports green" eval 'report_is 16 "$green" && report_is 640 "$green"'
said="$(status_line)"
case "$said" in
  *"Panel Resultados: enviado y verificado"*"Panel Botes: enviado y verificado"*) pass "status line: $said" ;;
  *) fail "the status line says '$said'" ;;
esac
[ "$(field 7)" = 9 ] || fail "C was not saved"
[ "$(held results 320)" = "$(images 1)" ] && [ "$(held jackpots 360)" = "$(images 2)" ] ||
  fail "a device does not hold the document"
pass "both devices hold the saved document's images"
unsent && fail "\"Cambios sin enviar\" stayed after the delivery"
pass "\"Cambios sin enviar\" went with the delivery"

# --- the log, saved from the search window ---
xdotool key alt+c
sleep 0.3
xdotool key Down Return
find_searcher() { searcher="$(xdotool search --onlyvisible --name '^Buscador de dispositivos' 2>/dev/null | head -n 1)" && [ -n "$searcher" ]; }
wait_for 10 "the search window" find_searcher
sleep 0.3
xdotool mousemove --window "$searcher" 25 10 click 1
sleep 0.3
xdotool key Down Down Return
wait_for 5 "log.txt" test -s "$demo/log.txt"
xdotool key Escape
searcher_gone() { ! xdotool search --onlyvisible --name '^Buscador de dispositivos' >/dev/null 2>&1; }
wait_for 10 "the search window closing" searcher_gone
[ "$(grep -c '^\[Verificado\]' "$demo/log.txt")" -ge 3 ] || fail "log.txt lacks the verified devices"
pass "log.txt: $(grep -c '^\[Verificado\]' "$demo/log.txt") devices verified"

echo "$checks checks passed in $((SECONDS - started)) s"
