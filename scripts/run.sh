#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
if [ -x "$root/build/app/quinterra" ]; then
  exec "$root/build/app/quinterra" "$@"
fi
# Until the window exists: show what a sample document puts on the panels.
exec "$root/build/panels/quinterra-image" "$root/assets/sample.ltr"
