#!/usr/bin/env bash
# Draws docs/progress.png (or the path given): the main window in the middle
# of a delivery at 9600 baud, its bar under "ENVIAR" part-way. Two emulated
# panels on pseudo-terminals (COM200 and COM201 through config.ini's
# "Puertos"), the program under a virtual X server, one press of "ENVIAR",
# and grabs while the delivery runs, of which the one nearest half way is kept.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/progress.png}"
bash "$root/scripts/install-deps.sh" xdotool imagemagick
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quinterra quinterra-emulator

work="$(mktemp -d)"
pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM

source "$root/scripts/xvfb.sh"
start_xvfb
pids+=("$xvfb_pid")

# A results panel (address 1) and a jackpots panel (address 2), each on its
# own pseudo-terminal that answers only at 9600 baud.
for address in 1 2; do
  "$root/build/emulator/quinterra-emulator" --pty --baud 9600 --address "$address" \
    >"$work/emulator-$address.out" &
  pids+=($!)
  wait_for 10 "emulator $address" grep -q '^PTY ' "$work/emulator-$address.out"
done
pty1="$(sed -n 's/^PTY //p' "$work/emulator-1.out")"
pty2="$(sed -n 's/^PTY //p' "$work/emulator-2.out")"

cp "$root/assets/sample.ltr" "$work/demo.ltr"
printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\nPanelResultados=1\r\nPanelBotes=1\r\n[Puertos]\r\nCOM200=%s\r\nCOM201=%s\r\n' \
  "$work/demo.ltr" "$pty1" "$pty2" >"$work/config.ini"
device() {  # SECTION NAME COM NUMBER
  printf '[%s]\r\nNombre=%s\r\nCOMIP=%s\r\nSpeedPort=9600\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=%s\r\nSelected=*\r\n' "$@"
}
{
  device 0 "Panel Resultados (COM200)" COM200 1
  device 1 "Panel Botes (COM201)" COM201 2
} >"$work/equipos.ini"
(cd "$work" && exec env -u QT_QPA_PLATFORM "$root/build/app/quinterra") >"$work/program.log" 2>&1 &
pids+=($!)

wait_for_active_panels
press_enviar
# Grabs until the delivery is over; keeps the one whose bar (576, 77,
# 121 x 9) is filled nearest to half way. Fill: the share of the bar's middle
# row in the bar's blue.
best=""
best_distance=1
for frame in $(seq 60); do
  import -window "$window" "$work/frame-$frame.png"
  fill="$(convert "$work/frame-$frame.png" -crop "117x1+578+$((top + 81))" +repage \
    -fx '(b > 0.6 && r < 0.5) ? 1 : 0' -format '%[fx:mean]' info:)"
  distance="$(awk -v f="$fill" 'BEGIN { d = f - 0.5; print (d < 0 ? -d : d) }')"
  if awk -v f="$fill" -v d="$distance" -v b="$best_distance" 'BEGIN { exit !(f > 0 && f < 1 && d < b) }'; then
    best="$work/frame-$frame.png"
    best_distance="$distance"
  fi
  # Once the bar has been seen and is gone again, the delivery is over.
  if [ -n "$best" ] && awk -v f="$fill" 'BEGIN { exit !(f == 0) }'; then break; fi
done
[ -n "$best" ] || { echo "progress-picture.sh: no grab showed the bar part-way" >&2; exit 1; }
cp "$best" "$work/window.png"
mkdir -p "$(dirname "$out")"
convert "$work/window.png" -strip "$out"
echo "saved $out"
