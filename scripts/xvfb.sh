# Sourced by the scripts that draw pictures of the program: a virtual X
# server on the first free display, a bounded wait for a condition, and
# the steps both take in the main window.
# picture_run_begin makes $work (a temporary folder) and stops, on exit, the
# program ($program_pid), the demonstration's processes and the X server,
# then removes the folder; a caller that needs more defines
# picture_run_before_stop. Others set $work themselves and stop $xvfb_pid.

picture_run_begin() {
  work="$(mktemp -d)"
  xvfb_pid=""
  program_pid=""
  trap picture_run_finish EXIT
  trap 'exit 1' INT TERM
}

picture_run_finish() {
  if declare -F picture_run_before_stop >/dev/null; then picture_run_before_stop; fi
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; wait "$program_pid" 2>/dev/null || true; fi
  if declare -F demo_stop_emulators >/dev/null; then demo_stop_emulators; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

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

# fx_at EXPRESSION: true when EXPRESSION holds on a fresh grab of $window.
fx_at() {
  import -window "$window" "$work/window.png"
  [ "$(convert "$work/window.png" -format "%[fx:$1]" info:)" = 1 ]
}

# wait_for_active_panels: finds the main window (sets $window and $top, the
# client area's top below the menu bar) and waits until the banner over each
# picture turns from grey to yellow, the sign that the start-up check found
# the panel's devices.
wait_for_active_panels() {
  find_window() { window="$(xdotool search --onlyvisible --name '^Quinterra v' 2>/dev/null | head -n 1)" && [ -n "$window" ]; }
  wait_for 20 "the main window" find_window || return 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The menu bar sits above the 1140 x 845 scrolling area, the 22 px status
  # line below it.
  top=$((HEIGHT - 845 - 22))
  yellow() { echo "(p{$1,$((top + 30))}.r > 0.8 && p{$1,$((top + 30))}.b < 0.3)"; }
  wait_for 30 "both panels turning active" fx_at "$(yellow 30) && $(yellow 720)"
}

# press_enviar: clicks "ENVIAR", in the middle of its button panel at
# (576, 40), 121 x 35; then the pointer leaves the window, so that the
# button is drawn without hover.
press_enviar() {
  xdotool mousemove --window "$window" $((576 + 60)) $((top + 40 + 17)) click 1 mousemove 0 0
}

# find_named NAME: sets $found to the visible window called NAME.
find_named() { found="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)" && [ -n "$found" ]; }
publish_dialog_gone() { ! find_named "Publicar en la red"; }

# publish_and_open_state: F4 and Return publish on the network; once the
# broker took it, F3 opens "Estado de la red", whose window $state is.
publish_and_open_state() {
  xdotool windowfocus --sync "$window" key F4
  wait_for 10 "the publish dialog" find_named "Publicar en la red"
  xdotool windowfocus --sync "$found" key Return
  wait_for 20 "the publication taken by the broker" publish_dialog_gone
  xdotool windowfocus --sync "$window" key F3
  wait_for 10 "the state window" find_named "Estado de la red"
  state="$found"
}
