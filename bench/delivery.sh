#!/usr/bin/env bash
# Times "ENVIAR" from the press to the last panel report, in the program
# against emulator processes: TCP loopback, and pseudo-terminals at 115200
# and 9600 baud that take a serial line's time per byte; one device and four;
# writing only, and reading back. Each row stands beside its floor: the
# cycle's 100 ms ticks plus the time of the bytes on the wire. The console
# sender is timed on the same TCP delivery. Takes a few minutes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target delivery_timing quinterra-emulator quinterra-send
export QT_QPA_PLATFORM=offscreen
export QUINTERRA_SEND_PROGRAM="$root/build/send/quinterra-send"
"$root/build/bench/delivery_timing" "$@" | grep '^ROW' | sed 's/^ROW //'
