# The demonstration that needs no hardware, shared by run.sh and screenshot.sh:
# two emulated panel devices on 127.0.0.1 (a results panel, address 1, and a
# jackpots panel, address 2) and a working folder that lists them.
# Sourced, not run; the caller sets root and calls demo_stop_emulators on exit.
# shellcheck shell=bash
: "${root:?the checkout folder}"

demo_results_port="${QUINTERRA_DEMO_RESULTS_PORT:-17001}"
demo_jackpots_port="${QUINTERRA_DEMO_JACKPOTS_PORT:-17002}"
demo_pids=()

# demo_prepare_folder WORK: both emulated panels known and selected, both
# "Actualizar" items ticked, and a sample document to send. A document or a
# config.ini already there is the operator's and is kept.
demo_prepare_folder() {
  local work="$1"
  mkdir -p "$work/memory-results" "$work/memory-jackpots"
  [ -f "$work/demo.ltr" ] || cp "$root/assets/sample.ltr" "$work/demo.ltr"
  printf '[0]\r\nNombre=Panel Resultados (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=1\r\nSelected=*\r\n[1]\r\nNombre=Panel Botes (127.0.0.1)\r\nCOMIP=127.0.0.1\r\nSpeedPort=%s\r\nVersion=\r\nCompilacion=\r\nNumDispositivo=2\r\nSelected=*\r\n' \
    "$demo_results_port" "$demo_jackpots_port" > "$work/equipos.ini"
  [ -f "$work/config.ini" ] ||
    printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\nPanelResultados=1\r\nPanelBotes=1\r\n' "$work/demo.ltr" > "$work/config.ini"
}

# demo_start_emulators WORK: starts both emulators, keeping their memory in
# WORK, and returns once both listen, so that the program's start-up check
# finds them.
demo_start_emulators() {
  local work="$1" emulator="$root/build/emulator/quinterra-emulator"
  "$emulator" --tcp "$demo_results_port" --address 1 --build "Demo resultados" \
    --dump "$work/memory-results" > "$work/emulator-results.out" &
  demo_pids+=($!)
  "$emulator" --tcp "$demo_jackpots_port" --address 2 --build "Demo botes" \
    --dump "$work/memory-jackpots" > "$work/emulator-jackpots.out" &
  demo_pids+=($!)
  local name
  for name in results jackpots; do
    for _ in $(seq 100); do
      grep -q '^TCP ' "$work/emulator-$name.out" 2>/dev/null && continue 2
      sleep 0.1
    done
    echo "The $name emulator did not start (is its port taken?)." >&2
    return 1
  done
}

demo_stop_emulators() {
  local pid
  for pid in "${demo_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${demo_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  demo_pids=()
}

# demo_network_start BASE PORT [SHOPS]: a fresh network in BASE/red with its
# broker on 127.0.0.1:PORT, SHOPS shops (2 by default: tienda-1, tienda-2 ...)
# whose agents serve emulated panels on ports demo_network_ports + 10 * N + 1
# and + 2, reading them back every QUINTERRA_DEMO_CHECK_EVERY seconds when
# set, and the office's folder BASE/oficina with the network set in its
# config.ini ([Red] Carpeta) and the sample document, and no panel device of
# its own, as an office has none. demo_stop_emulators stops the broker and
# the agents too.
demo_network_ports="${QUINTERRA_DEMO_NETWORK_PANELS:-17000}"
demo_network_start() {
  local base="$1" port="$2" shops="${3:-2}" shop id
  local office_results=$demo_results_port office_jackpots=$demo_jackpots_port
  local check=()
  [ -n "${QUINTERRA_DEMO_CHECK_EVERY:-}" ] && check=(--check-every "$QUINTERRA_DEMO_CHECK_EVERY")
  rm -rf "$base/red"
  mkdir -p "$base"
  "$root/build/network/quinterra-network" init "$base/red" --name demo --host 127.0.0.1 \
    --port "$port" --keepalive 10 >/dev/null
  # The shops first: the broker reads its rules, which name them, as it starts.
  for shop in $(seq "$shops"); do
    "$root/build/network/quinterra-network" shop "$base/red" "tienda-$shop" >/dev/null
  done
  mosquitto -c "$base/red/mosquitto.conf" 2>"$base/broker.log" &
  demo_pids+=($!)
  for shop in $(seq "$shops"); do
    id="tienda-$shop"
    demo_results_port=$((demo_network_ports + 10 * shop + 1))
    demo_jackpots_port=$((demo_network_ports + 10 * shop + 2))
    rm -f "$base/$id/red-version.txt"
    demo_prepare_folder "$base/$id"
    demo_start_emulators "$base/$id"
    "$root/build/network/quinterra-agent" --network "$base/red/shops/$id" --folder "$base/$id" \
      "${check[@]}" 2>"$base/$id/agent.log" &
    demo_pids+=($!)
  done
  demo_results_port=$office_results demo_jackpots_port=$office_jackpots
  mkdir -p "$base/oficina"
  [ -f "$base/oficina/demo.ltr" ] || cp "$root/assets/sample.ltr" "$base/oficina/demo.ltr"
  [ -f "$base/oficina/config.ini" ] ||
    printf '[Config]\r\nFileName=%s\r\nGuardado=0\r\n' "$base/oficina/demo.ltr" > "$base/oficina/config.ini"
  grep -q '^Carpeta=' "$base/oficina/config.ini" ||
    printf '[Red]\r\nCarpeta=%s\r\n' "$base/red/" >> "$base/oficina/config.ini"
}
