#!/usr/bin/env bash
# The network's fault matrix: for each fault a chain meets in everyday
# operation (an agent killed mid-delivery, an agent restarted, the broker
# killed after a publication and restarted with its data lost, a device
# power-cycled blank, a panel overwritten by the shop's own sending, a shop
# clock 16 minutes behind, red-version.txt corrupt and then unwritable, two
# agents with one bundle, no equipos.ini), two shops with their agents
# (checking every 5 s) and emulated panels against the real broker, and:
#   settle s     from the fault until every shop's verdict in the office is
#                the truth (fine exactly when the emulators' bytes are what
#                the office published, else what the fault should show) and
#                stays so to the end of the fault's window (30 s; 60 s for
#                two agents, 100 s for the clock)
#   false fine   samples (tenths of a second) with a shop "bien" whose
#                panels did not show the document
#   alarms       samples with a shop red whose panels were right, once the
#                truth had been reached
#   msgs/min     states the faulty shop published, per minute
#
#   bash bench/network-faults.sh [GTEST_FILTER]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
bash "$root/scripts/install-deps.sh" faketime >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target network_faults_bench >/dev/null
export PATH="/usr/sbin:$PATH" QT_QPA_PLATFORM=offscreen
filter="${1:-*}"
printf "%-26s %9s %11s %7s %9s\n" fault "settle s" "false fine" alarms "msgs/min"
"$build/bench/network_faults_bench" --gtest_filter="$filter" 2>"$build/network-faults.log" |
  grep '^RESULT' |
  sed -E 's/RESULT fault=([^ ]+) settle_s=([0-9.]+) false_fine=([0-9]+) alarms=([0-9]+) per_minute=([0-9.]+)(.*)/\1 \2 \3 \4 \5 \6/' |
  while read -r fault settle false_fine alarms per_minute rest; do
    [ -n "${rest:-}" ] && settle="$settle (sin asentarse)"
    printf "%-26s %9s %11s %7s %9s\n" "$fault" "$settle" "$false_fine" "$alarms" "$per_minute"
  done
echo "(the agents' and the broker's words: $build/network-faults.log)"
