#!/usr/bin/env bash
# Start-up of the program against an empty Qt window of the same size, each
# started in turn under a virtual X server, RUNS times (9 unless given):
# the median time from the start to the window being mapped, to its first
# paint, and the resident memory a second after that, each with its ratio
# to the empty window. A third window, the same size with only the
# program's menu bar, shows what a window with text costs before any of the
# program's own work.
# The program starts in a folder of its own whose config.ini reopens the
# sample document with both "Actualizar" items ticked, and whose
# equipos.ini lists one device per panel on 127.0.0.1 ports nobody listens
# on: the start-up check runs and finds nothing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-9}"
build="${QUINTERRA_BUILD:-$root/build}"
bash "$root/scripts/install-deps.sh" libxcb1-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target quinterra empty_window startup_probe >/dev/null

work="$(mktemp -d)"
xvfb_pid=""
finish() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
# shellcheck source=../scripts/xvfb.sh
. "$root/scripts/xvfb.sh"
# Each run ends the server's last client: without -noreset the server would
# reset between runs, refusing the next one while it does (or dying).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 10 "the virtual X server" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Two ports of 127.0.0.1 that were free a moment ago.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
mkdir -p "$work/shop"
cp "$root/assets/sample.ltr" "$work/shop/sorteo.ltr"
printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\nPanelResultados=1\r\nPanelBotes=1\r\n' \
  "$work/shop/sorteo.ltr" >"$work/shop/config.ini"
printf '[0]\r\nNombre=Panel Resultados (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=1\r\nSelected=*\r\n[1]\r\nNombre=Panel Botes (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=2\r\nSelected=*\r\n' \
  "$(free_port)" "$(free_port)" >"$work/shop/equipos.ini"
probe="$build/bench/startup_probe"

# Each prints: mapped ms, RSS kB, width, height, first paint ms.
program() { (cd "$work/shop" && "$probe" 1000 "$build/app/quinterra"); }
empty() { "$probe" 1000 "$build/bench/empty_window" "$width" "$height"; }
menus() { "$probe" 1000 "$build/bench/empty_window" "$width" "$height" --menus; }

# One start of each first, not counted: it fills the font caches and tells
# the program window's size.
read -r _ _ width height _ < <(program)
empty >/dev/null
menus >/dev/null
for _ in $(seq "$runs"); do
  program >>"$work/program.txt"
  empty >>"$work/empty.txt"
  menus >>"$work/menus.txt"
done

# median NAME COLUMN
median() {
  sort -n -k"$2","$2" "$work/$1.txt" |
    awk -v c="$2" '{v[NR] = $c} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
echo "window ${width}x${height}, $runs runs each, medians (ratio to the empty window):"
printf '  %-24s %16s %16s %16s\n' "" "mapped" "first paint" "RSS after 1 s"
for name in program menus empty; do
  case "$name" in
    program) label="the program" ;;
    menus) label="its menu bar alone" ;;
    empty) label="an empty window" ;;
  esac
  awk -v label="$label" -v m="$(median "$name" 1)" -v p="$(median "$name" 5)" -v r="$(median "$name" 2)" \
    -v em="$(median empty 1)" -v ep="$(median empty 5)" -v er="$(median empty 2)" \
    'BEGIN {printf "  %-24s %6.1f ms (%.2f) %6.1f ms (%.2f) %6.1f MB (%.2f)\n", label, m, m / em, p, p / ep, r / 1024, r / er}'
done
