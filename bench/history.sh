#!/usr/bin/env bash
# A shop's year in its record: about 54,000 events (a delivery of both
# panels at 09:00 and 21:00, and a check reading one panel every 10
# minutes), then the size of historial.db and the time of
# quinterra-send --shown-at, against their bounds (20 MB, 10 ms).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUINTERRA_BUILD:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target history_year quinterra-send >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bench/history_year" "$work" "$build/send/quinterra-send"
