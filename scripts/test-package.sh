#!/usr/bin/env bash
# The Debian package as an operator gets it: built by scripts/package.sh,
# checked by lintian, installed with apt-get (which resolves its
# dependencies), every program answering, the menu entry and the AppStream
# description valid, the program started from a terminal and from the menu
# entry's command under a virtual X server (each in its own working folder),
# and the package removed again. As root or through sudo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh" desktop-file-utils appstream lintian dpkg-dev file xvfb xauth procps
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
started_at=$SECONDS

"$root/scripts/package.sh"
deb="$(ls "$root"/build-pkg/quinterra_*.deb)"
version="$(dpkg-deb -f "$deb" Version)"
echo "== $(basename "$deb")"
dpkg-deb -f "$deb" Depends Recommends

echo "== lintian"
lintian --fail-on error --info "$deb"

echo "== install"
work="$(mktemp -d)"
installed=""
finish() {
  if [ -n "$installed" ]; then $sudo apt-get remove -y -qq quinterra >/dev/null || true; fi
  rm -rf "$work"
}
trap finish EXIT
export DEBIAN_FRONTEND=noninteractive
(cd "$root/build-pkg" && $sudo apt-get install -y -qq "./$(basename "$deb")")
installed=yes
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\.||' >"$work/contents"

echo "== programs"
for program in quinterra quinterra-image quinterra-emulator quinterra-send quinterra-agent quinterra-network; do
  path="/usr/bin/$program"
  if [ "$program" = quinterra-send ] && [ ! -e "$path" ]; then continue; fi
  "$path" --help >/dev/null
  answer="$("$path" --version)"
  [ "$answer" = "$program $version" ] || { echo "$program --version says '$answer'" >&2; exit 1; }
  if ! grep -q "/usr/share/man/man1/$program.1.gz$" "$work/contents"; then
    echo "$program has no manual page (man/$program.1)" >&2
    [ "$program" = quinterra-send ] || exit 1
  fi
  echo "$answer"
done

echo "== the shop agent's service and the network's broker"
for unit in quinterra-agent quinterra-broker; do
  grep -q "^/lib/systemd/system/$unit.service$\|^/usr/lib/systemd/system/$unit.service$" "$work/contents" ||
    { echo "the package has no $unit.service" >&2; exit 1; }
done
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify /usr/lib/systemd/system/quinterra-agent.service 2>&1 | grep -v "^$" >&2 || true
  # The agent runs confined: at most 3.5 in systemd's own rating.
  systemd-analyze security --offline=yes --threshold=35 /usr/lib/systemd/system/quinterra-agent.service |
    tail -1
fi
# The agent's user, in dialout, and the folder it shares with the shop's program.
id -nG quinterra | grep -qw dialout || { echo "the user quinterra is not in dialout" >&2; exit 1; }
[ "$(stat -c '%a %U %G' /var/lib/quinterra)" = "2770 quinterra quinterra" ] ||
  { echo "/var/lib/quinterra is $(stat -c '%a %U %G' /var/lib/quinterra)" >&2; exit 1; }
# quinterra-network makes a network and a shop's bundle with 0600 keys; the
# broker's host is never guessed.
if /usr/bin/quinterra-network init "$work/red" --name prueba --port 18883 2>/dev/null; then
  echo "init made a network without --host" >&2; exit 1
fi
/usr/bin/quinterra-network init "$work/red" --name prueba --host 127.0.0.1 --port 18883 >/dev/null
/usr/bin/quinterra-network shop "$work/red" tienda-1 >/dev/null
[ "$(stat -c %a "$work/red/shops/tienda-1/client.key")" = 600 ] || { echo "a shop key is not 0600" >&2; exit 1; }
[ "$(stat -c %a "$work/red/office-sign.key")" = 600 ] || { echo "the signing key is not 0600" >&2; exit 1; }

echo "== the office's recorder and the network's report"
grep -q "systemd/system/quinterra-registro.service$" "$work/contents" ||
  { echo "the package has no quinterra-registro.service" >&2; exit 1; }
# quinterra-send finds the program that makes the report, which finds no record.
answer="$(/usr/bin/quinterra-send --network-report --network "$work/red" --csv "$work/informe.csv" 2>&1 || true)"
echo "$answer" | grep -q "no existe el registro de la red" ||
  { echo "quinterra-send --network-report: $answer" >&2; exit 1; }

echo "== menu entry and AppStream description"
desktop="/usr/share/applications/quinterra.desktop"
desktop-file-validate "$desktop"
appstreamcli validate --no-net /usr/share/metainfo/es.quinterra.Quinterra.metainfo.xml
for size in 16 22 24 32 48 64 128 256; do
  test -s "/usr/share/icons/hicolor/${size}x${size}/apps/quinterra.png"
done
test -s /usr/share/icons/hicolor/scalable/apps/quinterra.svg

# folder_of DIR COMMAND...: starts the installed program from DIR under a
# virtual X server, with a fresh home folder, and prints the folder it works
# in once it has run for a few seconds; then ends it.
folder_of() {
  local dir="$1" pid="" runner
  shift
  (cd "$dir" && exec xvfb-run -a env -u XDG_DATA_HOME -u QT_QPA_PLATFORM HOME="$work/home" "$@") \
    >"$work/program.log" 2>&1 &
  runner=$!
  for _ in $(seq 50); do
    pid="$(pgrep -x quinterra -P "$runner" || true)"
    [ -n "$pid" ] && break
    sleep 0.2
  done
  sleep 3
  if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "$* did not start or did not keep running:" >&2
    cat "$work/program.log" >&2
    return 1
  fi
  readlink "/proc/$pid/cwd"
  kill "$pid"
  wait "$runner" || true
}

mkdir -p "$work/terminal" "$work/home"
echo "== started from a terminal: the current folder"
folder="$(folder_of "$work/terminal" quinterra)"
[ "$folder" = "$work/terminal" ] || { echo "works in $folder" >&2; exit 1; }
[ ! -e "$work/home/.local/share/quinterra" ]

echo "== started from the menu entry: the user's data folder, made on first start"
command="$(sed -n 's/^Exec=//p' "$desktop")"
# shellcheck disable=SC2086  # the entry's command, split as the desktop does
folder="$(folder_of "$work/home" $command)"
[ "$folder" = "$work/home/.local/share/quinterra" ] || { echo "works in $folder" >&2; exit 1; }

echo "== remove"
$sudo apt-get remove -y -qq quinterra >/dev/null
installed=""
[ ! -e /usr/bin/quinterra ]
echo "package stage passed in $((SECONDS - started_at)) s"
