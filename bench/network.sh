#!/usr/bin/env bash
# The network of shops under load: one broker (the configuration made by
# quinterra-network init, on a free loopback port, fresh persistence each
# run), 10, 100 and 1,000 shops hosted by a few network_bench processes,
# each shop with its own broker connection and two in-process emulated
# panels. For each size, from the publication to every shop's verified
# report: p50, p95 and max, beside the floor (one shop alone), and the
# memory per shop: the shops' processes', and the broker's ("broker KiB"). The shops' certificates are made once and kept in
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
#   bash bench/network.sh --restart [SIZES...]  (default: 1000) the broker
#     killed (SIGKILL) once every shop reports a publication verified, and
#     started again at once on the same configuration and saved data; from
#     the kill: "online s" until every shop's own connection is back (as the
#     shops see it: the broker's saved presence says they never left),
#     "office s" until the office's connection is Ready again, "fine s"
#     until the office, Ready, sees every shop "bien" again; and how many
#     shops were back and fine within 300 s of the kill
#
# Whatever fails or is interrupted, everything the script started is
# stopped, what failed is said with the last words of the office, the broker
# (build/bench-network/broker.log) and the shops (shops.log), and the exit
# status is not 0. Each office step runs under a time limit of its own.
set -Eeuo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
work="$build/bench-network"
mode=table
case "${1:-}" in
  --window) mode=window; shift ;;
  --restart) mode=restart; shift ;;
esac
sizes=("$@")
for n in "${sizes[@]}"; do
  if ! [[ $n =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: bash bench/network.sh [--window | --restart] [SIZES...]  (not a size: $n)" >&2
    exit 2
  fi
done
[ ${#sizes[@]} -eq 0 ] && [ $mode != table ] && sizes=(1000)
[ ${#sizes[@]} -eq 0 ] && sizes=(10 100 1000)
max=1
for n in "${sizes[@]}"; do [ "$n" -gt "$max" ] && max=$n; done

# What failed, said once on the way out; the processes running now, each
# the leader of a process group of its own.
failed=""; started=0
broker_pid=""; office_pid=""; hosts=(); watchdog_pid=""

fail() {
  failed="$*"
  exit 1
}

# Stops the process groups led by these pids: TERM, up to 5 s to go, then
# KILL; the pid itself too, in case it had no group of its own yet.
stop_groups() {
  local p i left
  for p in "$@"; do kill -TERM -- "-$p" "$p" 2>/dev/null || true; done
  for i in $(seq 50); do
    left=0
    for p in "$@"; do kill -0 -- "-$p" 2>/dev/null && left=1; done
    [ $left = 0 ] && break
    sleep 0.1
  done
  for p in "$@"; do kill -KILL -- "-$p" "$p" 2>/dev/null || true; done
  for p in "$@"; do wait "$p" 2>/dev/null || true; done
}

stop_all() {
  local groups=("${hosts[@]}")
  if [ -n "$office_pid" ]; then groups+=("$office_pid"); fi
  if [ -n "$broker_pid" ]; then groups+=("$broker_pid"); fi
  if [ ${#groups[@]} -gt 0 ]; then stop_groups "${groups[@]}"; fi
  hosts=(); broker_pid=""; office_pid=""
  note_running
}

# The groups running now, for the watchdog.
note_running() {
  echo "${hosts[*]} $broker_pid $office_pid" 2>/dev/null >"$work/running" || true
}

# Should the script itself be killed outright (no trap runs), this stops
# what it started within a second; the bench processes also end with their
# parent, but the broker, once it drops to its own user, does not.
watchdog() {
  local p stat
  # Its parent is the script until the script is gone (even unreaped).
  while read -r stat </proc/$BASHPID/stat; do
    stat=(${stat##*) })
    [ "${stat[1]}" = $$ ] || break
    sleep 1
  done
  for p in $(cat "$work/running" 2>/dev/null); do kill -KILL -- "-$p" "$p" 2>/dev/null || true; done
}

on_exit() {
  local rc=$?
  trap - EXIT INT TERM HUP ERR
  set +e
  stop_all
  if [ -n "$watchdog_pid" ]; then kill "$watchdog_pid" 2>/dev/null; wait "$watchdog_pid" 2>/dev/null; fi
  # The shops' folders in memory go with the run.
  case "${shops_dir:-}" in /dev/shm/*) rm -rf "$shops_dir" ;; esac
  if [ $rc -ne 0 ]; then
    echo "network.sh: ${failed:-failed (status $rc)}" >&2
    if [ $started = 1 ]; then
      for log in office.err broker.log shops.log; do
        [ -s "$work/$log" ] || continue
        echo "--- the last lines of $work/$log:" >&2
        tail -n 15 "$work/$log" >&2
      done
    fi
  fi
  exit $rc
}
trap on_exit EXIT
trap 'failed="interrupted"; exit 130' INT
trap 'failed="terminated"; exit 143' TERM HUP
trap '[ -n "$failed" ] || failed="line $LINENO: \"$BASH_COMMAND\" failed"' ERR

bash "$root/scripts/install-deps.sh" mosquitto openssl libmosquitto-dev libsodium-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(network_bench quinterra-network)
[ $mode = window ] && targets+=(network_window_bench)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
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

note_running
watchdog </dev/null >/dev/null 2>&1 &
watchdog_pid=$!

# Whether a child is still running (an exited one stays a zombie until it
# is reaped).
alive() {
  local stat
  read -r stat 2>/dev/null </proc/"$1"/stat || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# Milliseconds since 1970, as the bench processes take them.
now_ms() {
  local t=${EPOCHREALTIME/[.,]/}
  echo $((t / 1000))
}

# The broker and the office stand for machines of their own; on this one
# machine they come first, and the shops, thousands of other machines, run
# at the lowest priority: ten thousand shops' handshakes and timers on two
# cores would otherwise starve the one broker thread being measured.
# Each process below leads a session of its own (setsid), and the kernel
# shares the processors between sessions' groups before nice counts within
# a group: a command run as "in_session NICE COMMAND..." sets its new
# group's nice first. Only ever run in the background ("&"): the subshell
# becomes the command, so that $! is the session's leader.
in_session() {
  local n=$1
  shift
  exec setsid sh -c 'echo "$0" 2>/dev/null >/proc/self/autogroup; exec "$@"' "$n" "$@"
}

start_broker() {
  in_session -10 mosquitto -c "$net/mosquitto.conf" 2>>"$work/broker.log" </dev/null &
  broker_pid=$!
  note_running
}

# The shops' folders (equipos.ini, red-version.txt written anew at each
# delivery) in memory when it can: each shop stands for a machine with a
# disk of its own, and ten thousand of them renaming files on one ext4
# folder spent most of the shops' time in the file system's inode search.
shops_dir="$work/shops"
[ -d /dev/shm ] && [ -w /dev/shm ] && shops_dir="/dev/shm/quinterra-bench-shops"

# The broker and n shops, hosted 50 to a process (each shop stands for a
# machine of its own: a process of thousands would measure its own event
# loop polling every socket), at the lowest priority.
# Each shop process says on its own file in links/ when each of its shops'
# connections came and went.
start_shops() {
  local n=$1 per=50 first=0
  stop_all
  started=1
  # A fresh broker and fresh shops: the office keeps nothing from the last run.
  rm -rf "$net/broker/data/"* "$shops_dir" "$work/links" "$net/office-document.json" "$net/office-version.txt"
  mkdir -p "$work/links"
  : >"$work/broker.log"; : >"$work/shops.log"; : >"$work/office.err"
  start_broker
  sleep 0.5
  alive "$broker_pid" || fail "the broker did not start"
  while [ $first -lt "$n" ]; do
    local count=$(( n - first < per ? n - first : per ))
    in_session 19 "$build/bench/network_bench" shops "$net/" "$shops_dir/" "$first" "$count" \
      >"$work/links/$first.txt" 2>>"$work/shops.log" </dev/null &
    hosts+=($!)
    first=$((first + count))
  done
  note_running
}

# An office step under a time limit of s seconds (timeout leads a process
# group of its own); its words in office.out and office.err.
start_office() {
  local limit=$1
  shift
  : >"$work/office.out"; : >"$work/office.err"
  in_session -10 timeout -k 5 "$limit" "$@" >"$work/office.out" 2>"$work/office.err" </dev/null &
  office_pid=$!
  note_running
}

# While the office step runs and the command given (if any) does not hold,
# a tenth of a second at a time; fails as soon as the broker or a shop
# process has gone.
watch_office() {
  local p turn=0
  while alive "$office_pid"; do
    if [ $# -gt 0 ] && "$@"; then return 0; fi
    alive "$broker_pid" || fail "the broker exited during the run"
    # Two hundred shop processes looked at ten times a second took a tenth
    # of the machine from what is measured: once a second is enough.
    if [ $((turn++ % 10)) = 0 ]; then
      for p in "${hosts[@]}"; do alive "$p" || fail "a shop process (pid $p) exited during the run"; done
    fi
    sleep 0.1
  done
}

# The office step's end: its RESULT line in $result; fails on a step that
# timed out or ended without one. A result short of every shop is kept in
# $short, said at the end.
short=()
finish_office() {
  local what=$1 rc=0
  wait "$office_pid" 2>/dev/null || rc=$?
  office_pid=""
  note_running
  result=$(grep '^RESULT' "$work/office.out" || true)
  case $rc in
    124 | 137) fail "$what took longer than its limit, and was stopped" ;;
    0) ;;
    1) [ -n "$result" ] || fail "$what failed (status $rc)"; short+=("$what") ;;
    *) fail "$what failed (status $rc)" ;;
  esac
  [ -n "$result" ] || fail "$what ended without a result"
}

# One run of n shops: sets p50, p95, maxms, verified and rss (KiB per shop).
run() {
  local n=$1 p
  start_shops "$n"
  # The office's own bounds add up to 840 s.
  start_office 900 "$build/bench/network_bench" office "$net/" 0 "$n"
  watch_office
  finish_office "the office at $n shops"
  rss=0
  for p in "${hosts[@]}"; do rss=$((rss + $(ps -o rss= -p "$p"))); done
  rss=$((rss / n))
  broker_rss=$(( $(ps -o rss= -p "$broker_pid") / n ))
  stop_all
  read -r verified p50 p95 maxms < <(echo "$result" |
    sed -E 's/.*verified=([0-9]+) p50=([0-9]+) p95=([0-9]+) max=([0-9]+)/\1 \2 \3 \4/')
}

# The shops whose own connection came back after kill_ms, and the last of
# those first returns: "count ms".
shops_back() {
  cat "$work/links/"*.txt | awk -v k="$kill_ms" '
    $1 == "CONNECTED" && $3 >= k && !($2 in back) { back[$2] = $3 }
    END { n = 0; last = 0; for (s in back) { n++; if (back[s] > last) last = back[s] } print n, last }'
}

office_said_kill() {
  local first=""
  read -r first 2>/dev/null <"$work/office.out" || true
  [ "$first" = KILL ]
}

# Seconds from the kill to ms, or "-" for never.
since_kill() {
  if [ "$1" -gt 0 ]; then awk -v t="$1" -v k="$kill_ms" 'BEGIN { printf "%.2f", (t - k) / 1000 }'; else echo -; fi
}

if [ $mode = restart ]; then
  printf "%-6s %8s %8s %9s %9s %9s\n" shops back fine "online s" "office s" "fine s"
  for n in "${sizes[@]}"; do
    start_shops "$n"
    # The office's own bounds add up to 1,170 s.
    start_office 1230 "$build/bench/network_bench" restart "$net/" 0 "$n"
    watch_office office_said_kill
    if ! office_said_kill; then
      finish_office "the office at $n shops, before the restart"
      fail "the office at $n shops ended before the restart"
    fi
    kill_ms=$(now_ms)
    kill -KILL "$broker_pid"
    wait "$broker_pid" 2>/dev/null || true
    # The same configuration and the same data: nothing wiped in between.
    start_broker
    watch_office
    finish_office "the office at $n shops, after the restart"
    read -r ready_ms fine_ms fine < <(echo "$result" |
      sed -E 's/.*ready_ms=([0-9]+) fine_ms=([0-9]+) fine=([0-9]+).*/\1 \2 \3/')
    # The shops' own connections, within 300 s of the kill.
    read -r back back_ms < <(shops_back)
    while [ "$back" -lt "$n" ] && [ $(($(now_ms) - kill_ms)) -lt 300000 ]; do
      alive "$broker_pid" || fail "the broker exited after its restart"
      for p in "${hosts[@]}"; do alive "$p" || fail "a shop process (pid $p) exited during the run"; done
      sleep 0.5
      read -r back back_ms < <(shops_back)
    done
    [ "$back" -lt "$n" ] && { back_ms=0; short+=("the shops' connections at $n shops"); }
    stop_all
    printf "%-6s %8s %8s %9s %9s %9s\n" "$n" "$back" "$fine" "$(since_kill "$back_ms")" \
      "$(since_kill "$ready_ms")" "$(since_kill "$fine_ms")"
  done
elif [ $mode = window ]; then
  printf "%-6s %8s %10s %16s %17s %19s %8s %10s\n" shops verified "all ms" "stall online ms" \
    "stall reports ms" "stall reconnect ms" "sort ms" "filter ms"
  for n in "${sizes[@]}"; do
    start_shops "$n"
    # The window's own bounds add up to 2,101 s.
    start_office 2200 "$build/bench/network_window_bench" "$net/" 0 "$n"
    watch_office
    finish_office "the office's window at $n shops"
    stop_all
    echo "$result" |
      sed -E 's/.*shops=([0-9]+) verified=([0-9]+) all_verified_ms=([0-9]+) stall_online_ms=([0-9./]+) stall_reports_ms=([0-9./]+) stall_reconnect_ms=([0-9./]+) sort_ms=([0-9.]+) filter_ms=([0-9.]+)/\1 \2 \3 \4 \5 \6 \7 \8/' |
      while read -r shops verified all online reports reconnect sort filter; do
        printf "%-6s %8s %10s %16s %17s %19s %8s %10s\n" "$shops" "$verified" "$all" "$online" "$reports" \
          "$reconnect" "$sort" "$filter"
      done
  done
else
  run 1
  floor=$p50
  printf "%-6s %8s %8s %8s %10s %9s %14s %12s\n" shops verified "p50 ms" "p95 ms" "max ms" "floor ms" \
    "KiB per shop" "broker KiB"
  for n in "${sizes[@]}"; do
    run "$n"
    printf "%-6s %8s %8s %8s %10s %9s %14s %12s\n" "$n" "$verified" "$p50" "$p95" "$maxms" "$floor" "$rss" \
      "$broker_rss"
  done
fi

[ ${#short[@]} -eq 0 ] || fail "not every shop got there: ${short[*]}"
