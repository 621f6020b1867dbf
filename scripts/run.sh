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

if [ "${1:-}" = "--real" ]; then
  exec "$program"
fi

source "$root/scripts/demo.sh"
work="$root/demo-work"
trap demo_stop_emulators EXIT INT TERM
demo_prepare_folder "$work"
demo_start_emulators "$work"

cd "$work"
echo "Demonstration: emulated panels on 127.0.0.1:$demo_results_port (results) and 127.0.0.1:$demo_jackpots_port (jackpots)."
echo "What ENVIAR writes lands in $work/memory-results and $work/memory-jackpots."
"$program"
