#!/usr/bin/env bash
# The network of shops under load: one broker (the configuration made by
# quinterra-network init, on a free loopback port, fresh persistence each
# run), 10, 100 and 1,000 shops hosted by a few network_bench processes,
# each shop with its own broker connection and two in-process emulated
# panels. For each size, from the publication to every shop's verified
# report: p50, p95 and max, beside the floor (one shop alone), and the
# memory per shop. The shops' certificates are made once and kept in
# build/bench-network/.
#
#   bash bench/network.sh [SIZES...]            (default: 10 100 1000)
#   bash bench/network.sh --window [SIZES...]   (default: 1000) the office's
#     window instead (network_window_bench): the longest stall of its event
#     loop while the shops come online, while they all report a publication
#     made from the window, and while it takes their retained states anew;
#     each as "wall/work": the longest lateness of a 10 ms timer, and the
#     most time the window's thread itself worked between two of its ticks;
#     then the longest sort of the state window by any column and filter
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
work="$build/bench-network"
window=0
if [ "${1:-}" = "--window" ]; then window=1; shift; fi
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && [ $window = 1 ] && sizes=(1000)
[ ${#sizes[@]} -eq 0 ] && sizes=(10 100 1000)
max=1
for n in "${sizes[@]}"; do [ "$n" -gt "$max" ] && max=$n; done

bash "$root/scripts/install-deps.sh" mosquitto openssl libmosquitto-dev libsodium-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target network_bench network_window_bench quinterra-network >/dev/null
# Ten thousand TLS connections in the broker and in the bench.
ulimit -n 20000 2>/dev/null || ulimit -n "$(ulimit -Hn)"

net="$work/net"
port_file="$work/port"
if [ ! -f "$net/red.ini" ]; then
  rm -rf "$work"; mkdir -p "$work"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  echo "$port" >"$port_file"
  "$build/network/quinterra-network" init "$net" --name banco --host 127.0.0.1 --port "$port" >/dev/null
fi
have=$(find "$net/shops" -mindepth 1 -maxdepth 1 -type d | wc -l)
if [ "$have" -lt "$max" ]; then
  echo "making $max shops' certificates (once)..." >&2
  seq "$have" $((max - 1)) | xargs -P "$(nproc)" -I{} sh -c \
    'printf "bench-%04d\n" {} | xargs "$0" shop "$1" >/dev/null' "$build/network/quinterra-network" "$net"
fi

broker_pid=""; hosts=()
stop_all() {
  for p in "${hosts[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  hosts=(); broker_pid=""
}
trap stop_all EXIT

# The broker and n shops, hosted 50 to a process (each shop stands for a
# machine of its own: a process of thousands would measure its own event
# loop polling every socket). With --window the shops
# run niced: they stand for other machines, not for work of the office's.
start_shops() {
  local n=$1 per=50 first=0 nice=()
  [ $window = 1 ] && nice=(nice -n 10)
  stop_all
  # A fresh broker and fresh shops: the office keeps nothing from the last run.
  rm -rf "$net/broker/data/"* "$work/shops" "$net/office-document.json" "$net/office-version.txt"
  mosquitto -c "$net/mosquitto.conf" 2>"$work/broker.log" & broker_pid=$!
  sleep 0.5
  while [ $first -lt "$n" ]; do
    local count=$(( n - first < per ? n - first : per ))
    "${nice[@]}" "$build/bench/network_bench" shops "$net/" "$work/shops/" "$first" "$count" \
      2>>"$work/shops.log" &
    hosts+=($!)
    first=$((first + count))
  done
}

# One run of n shops: prints "p50 p95 max rss_kb_per_shop".
run() {
  local n=$1
  start_shops "$n"
  local result
  result=$("$build/bench/network_bench" office "$net/" 0 "$n" | grep '^RESULT')
  local rss=0
  for p in "${hosts[@]}"; do rss=$((rss + $(ps -o rss= -p "$p"))); done
  # run is called in a subshell, whose hosts and broker its caller never
  # sees: stop them here, or the next run's shops would fight these ones
  # for the same client ids.
  stop_all
  echo "$result" | sed -E 's/.*verified=([0-9]+) p50=([0-9]+) p95=([0-9]+) max=([0-9]+)/\2 \3 \4 \1/' |
    awk -v rss="$rss" -v n="$n" '{ printf "%s %s %s %s %d\n", $1, $2, $3, $4, rss / n }'
}

if [ $window = 1 ]; then
  printf "%-6s %8s %10s %16s %17s %19s %8s %10s\n" shops verified "all ms" "stall online ms" \
    "stall reports ms" "stall reconnect ms" "sort ms" "filter ms"
  for n in "${sizes[@]}"; do
    start_shops "$n"
    "$build/bench/network_window_bench" "$net/" 0 "$n" | grep '^RESULT' |
      sed -E 's/.*shops=([0-9]+) verified=([0-9]+) all_verified_ms=([0-9]+) stall_online_ms=([0-9./]+) stall_reports_ms=([0-9./]+) stall_reconnect_ms=([0-9./]+) sort_ms=([0-9.]+) filter_ms=([0-9.]+)/\1 \2 \3 \4 \5 \6 \7 \8/' |
      while read -r shops verified all online reports reconnect sort filter; do
        printf "%-6s %8s %10s %16s %17s %19s %8s %10s\n" "$shops" "$verified" "$all" "$online" "$reports" \
          "$reconnect" "$sort" "$filter"
      done
  done
  exit 0
fi

read -r floor _ _ _ _ < <(run 1)
printf "%-6s %8s %8s %8s %10s %9s %14s\n" shops verified "p50 ms" "p95 ms" "max ms" "floor ms" "KiB per shop"
for n in "${sizes[@]}"; do
  read -r p50 p95 maxms verified rss < <(run "$n")
  printf "%-6s %8s %8s %8s %10s %9s %14s\n" "$n" "$verified" "$p50" "$p95" "$maxms" "$floor" "$rss"
done
