# Sourced by the scripts that draw pictures of the program: a virtual X
# server on the first free display, and a bounded wait for a condition.
# The caller sets $work (a temporary folder) and adds $xvfb_pid to what it
# stops on exit.

# wait_for SECONDS WHAT COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local tries=$(($1 * 10)) what="$2"
  shift 2
  until "$@"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
      echo "$(basename "$0"): $what did not happen" >&2
      return 1
    fi
    sleep 0.1
  done
}

# Starts Xvfb and exports DISPLAY; Xvfb writes its number once it accepts
# clients.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 10 "the virtual X server" test -s "$work/display"
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
}
