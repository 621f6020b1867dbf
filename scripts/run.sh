#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
#
#   bash scripts/run.sh            demonstration without hardware: two emulated
#                                  panels on 127.0.0.1 (results panel, address 1;
#                                  jackpots panel, address 2) and the program in a
#                                  working folder that lists them (demo-work/)
#   bash scripts/run.sh --real     the program in the current folder, with its own
#                                  config.ini and equipos.ini and real devices
#   bash scripts/run.sh --network  a network of shops: a broker on 127.0.0.1 with a
#                                  fresh network (demo-network/red), two shops whose
#                                  agents serve emulated panels, and the office's
#                                  program in demo-network/oficina, with no panel
#                                  device of its own
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
program="$root/build/app/quinterra"

if [ "${1:-}" = "--real" ]; then
  exec "$program"
fi

source "$root/scripts/demo.sh"

if [ "${1:-}" = "--network" ]; then
  bash "$root/scripts/install-deps.sh" mosquitto openssl
  cmake --build "$root/build" -j "$(nproc)" --target quinterra-agent quinterra-network quinterra-send >/dev/null
  base="$root/demo-network"
  port="${QUINTERRA_DEMO_NETWORK_PORT:-18883}"
  trap demo_stop_emulators EXIT INT TERM
  demo_network_start "$base" "$port"
  echo "Network of shops: broker on 127.0.0.1:$port (the office on $((port + 1))), shops tienda-1 and tienda-2 (logs in $base/*/agent.log)."
  echo "In the program: Red > Publicar en la red… (F4) and Red > Estado de la red (F3); or, from a terminal:"
  echo "  build/send/quinterra-send --publish $base/oficina/demo.ltr --network $base/red --wait 30"
  echo "  build/send/quinterra-send --network-state --network $base/red"
  echo "Each shop's panels keep their memory in $base/tienda-N/memory-results and memory-jackpots."
  cd "$base/oficina"
  "$program"
  exit 0
fi
work="$root/demo-work"
trap demo_stop_emulators EXIT INT TERM
demo_prepare_folder "$work"
demo_start_emulators "$work"

cd "$work"
echo "Demonstration: emulated panels on 127.0.0.1:$demo_results_port (results) and 127.0.0.1:$demo_jackpots_port (jackpots)."
echo "What ENVIAR writes lands in $work/memory-results and $work/memory-jackpots."
"$program"
