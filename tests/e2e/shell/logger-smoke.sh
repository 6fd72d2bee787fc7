#!/usr/bin/env bash
# The logger as built, not in-process: under Xvfb against vireon-sim it shows the port dialog,
# connects when OK is pressed (the instrument hears the serial-number request) and ends with
# exit status 0 when the session asks it to (SIGTERM).
# Usage: logger-smoke.sh VIREON-LOGGER VIREON-SIM
set -uo pipefail
logger=$(realpath "$1")
sim=$(realpath "$2")
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "logger-smoke: $*" >&2
  [ -f "$work/logger.log" ] && tail -40 "$work/logger.log" >&2
  exit 1
}
# Polls cmd until it succeeds, for at most 60 s (a sanitizer build starts slowly).
await() {
  for _ in $(seq 600); do
    eval "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Xvfb picks a free display and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
await '[ -s "$work/display" ]' || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM
# Xvfb has no GL worth loading, and the GL stack's own locking only confuses ThreadSanitizer.
export QT_XCB_GL_INTEGRATION=none

"$sim" --verbose --link "$work/sim.tty" --rate 5 >"$work/sim.out" 2>"$work/sim.err" </dev/null &
pids+=($!)
await '[ -e "$work/sim.tty" ]' || fail "vireon-sim made no terminal"

(cd "$work" && VIREON_COM1="$work/sim.tty" exec "$logger") >"$work/logger.log" 2>&1 &
logger_pid=$!
# Presses OK (Return, the default button) once the dialog is on screen; a slow start (a sanitizer
# build) may show the window before it can take the focus, so this is tried again until heard.
press_ok() {
  local dialog
  dialog=$(xdotool search --onlyvisible --name "Select Communications Port" 2>/dev/null | head -1)
  [ -n "$dialog" ] && xdotool windowfocus --sync "$dialog" key Return >/dev/null 2>&1
  grep -q "received AA 02 00 1C 1C" "$work/sim.err"
}
await press_ok || fail "the instrument heard nothing"
await 'xdotool search --name "Vireon Data Logger" >/dev/null 2>&1' || fail "no main window"

kill -TERM "$logger_pid"
for _ in $(seq 200); do kill -0 "$logger_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$logger_pid" 2>/dev/null && fail "still running 20 s after SIGTERM"
wait "$logger_pid"
rc=$?
[ $rc -eq 0 ] || fail "exit status $rc"
echo "logger-smoke: connected and ended with exit status 0"
