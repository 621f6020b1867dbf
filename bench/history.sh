#!/usr/bin/env bash
# The record of what the panels showed, at a shop and at the office.
#
#   shop      a shop's year in its record: about 54,000 events (a delivery of
#             both panels at 09:00 and 21:00, and a check reading one panel
#             every 10 minutes), then the size of historial.db and the time
#             of quinterra-send --shown-at, against their bounds (20 MB, 10 ms)
#   office    the office's record of 1,000 shops for a year (two publications
#             a day, each shop's report of each, a third of the shops off every
#             night, failed attempts and agent restarts: about 2.7 million
#             events), on SQLite and on a PostgreSQL server of its own, and one
#             shop's report over the whole year (bound 200 ms)
#   recorder  the office's recorder while 1,000 shops (each its own TLS
#             connection, hosted by two processes) report a publication at
#             once, on SQLite and on PostgreSQL: nothing may be left unwritten
#             5 s after the last report
#
#   bash bench/history.sh [shop] [office] [recorder]     (default: all three)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUINTERRA_BUILD:-$root/build}"
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(shop office recorder)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target history_year quinterra-send office_year record_bench quinterra-network >/dev/null
work="$(mktemp -d)"
broker_pid=""; hosts=()
stop_all() {
  for p in "${hosts[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap stop_all EXIT

for part in "${parts[@]}"; do
  case "$part" in
    shop)
      "$build/bench/history_year" "$work" "$build/send/quinterra-send"
      ;;
    office)
      "$build/bench/office_year" "$work"
      ;;
    recorder)
      # The shops' certificates are made once and kept, as bench/network.sh keeps them.
      net="$build/bench-network/net"
      if [ ! -f "$net/red.ini" ]; then
        rm -rf "$build/bench-network"; mkdir -p "$build/bench-network"
        port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
        echo "$port" >"$build/bench-network/port"
        "$build/network/quinterra-network" init "$net" --name banco --host 127.0.0.1 --port "$port" >/dev/null
      fi
      missing=$(for i in $(seq 0 999); do
        name=$(printf "bench-%04d" "$i"); [ -f "$net/shops/$name/client.crt" ] || echo "$name"; done)
      if [ -n "$missing" ]; then
        echo "making the shops' certificates (once)..." >&2
        echo "$missing" | xargs -P "$(nproc)" -I{} "$build/network/quinterra-network" shop "$net" {} >/dev/null
      fi
      ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"
      rm -rf "$net/broker/data/"*
      mosquitto -c "$net/mosquitto.conf" 2>"$work/broker.log" & broker_pid=$!
      sleep 0.5
      # The shops stand for other machines: niced, so that the recorder's
      # own work is what is measured.
      for first in 0 500; do
        nice -n 10 "$build/bench/record_bench" shops "$net/" "$first" 500 2>>"$work/shops.log" & hosts+=($!)
      done
      printf "%-10s %6s %9s %13s %12s %15s %14s\n" backend shops reported "first ms" "last ms" "all written ms" \
        "queued at +5 s"
      for backend in sqlite postgres; do
        "$build/bench/record_bench" office "$net/" "$backend" 1000 | grep '^RESULT' |
          sed -E 's/.*backend=([a-z]+) shops=([0-9]+) reported=([0-9]+) first_ms=([0-9]+) last_ms=([0-9]+) written_ms=([0-9]+) backlog_5s=([0-9]+)/\1 \2 \3 \4 \5 \6 \7/' |
          while read -r b shops reported first last written backlog; do
            printf "%-10s %6s %9s %13s %12s %15s %14s\n" "$b" "$shops" "$reported" "$first" "$last" "$written" "$backlog"
          done
      done
      ;;
    *) echo "unknown part: $part (shop, office, recorder)" >&2; exit 2 ;;
  esac
done
