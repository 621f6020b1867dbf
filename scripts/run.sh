#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
#
#   bash scripts/run.sh            demonstration without hardware: two emulated
#                                  panels on 127.0.0.1 (results panel, address 1;
#                                  jackpots panel, address 2) and the program in a
#                                  working folder that lists them (demo-work/)
#   bash scripts/run.sh --real     the program in the current folder, with its own
#                                  config.ini and equipos.ini and real devices
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
program="$root/build/app/quinterra"
emulator="$root/build/emulator/quinterra-emulator"

if [ "${1:-}" = "--real" ]; then
  exec "$program"
fi

results_port="${QUINTERRA_DEMO_RESULTS_PORT:-17001}"
jackpots_port="${QUINTERRA_DEMO_JACKPOTS_PORT:-17002}"
work="$root/demo-work"
mkdir -p "$work/memory-results" "$work/memory-jackpots"

pids=()
stop_emulators() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap stop_emulators EXIT INT TERM

"$emulator" --tcp "$results_port" --address 1 --build "Demo resultados" --dump "$work/memory-results" &
pids+=($!)
"$emulator" --tcp "$jackpots_port" --address 2 --build "Demo botes" --dump "$work/memory-jackpots" &
pids+=($!)

# The demonstration folder: both emulated panels known and selected, both
# "Actualizar" items ticked, and a sample document to send.
[ -f "$work/demo.ltr" ] || cp "$root/assets/sample.ltr" "$work/demo.ltr"
printf '[0]\r\nNombre=Panel Resultados (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=1\r\nSelected=*\r\n[1]\r\nNombre=Panel Botes (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=2\r\nSelected=*\r\n' \
  "$results_port" "$jackpots_port" > "$work/equipos.ini"
[ -f "$work/config.ini" ] ||
  printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\nPanelResultados=1\r\nPanelBotes=1\r\n' "$work/demo.ltr" > "$work/config.ini"

cd "$work"
echo "Demonstration: emulated panels on 127.0.0.1:$results_port (results) and 127.0.0.1:$jackpots_port (jackpots)."
echo "What ENVIAR writes lands in $work/memory-results and $work/memory-jackpots."
"$program"
