# shellcheck shell=bash disable=SC2154  # root, work, here, instance: set by clean-root-checks.sh
# The logger as a new user of the clean root sees it, under Xvfb: the port dialog, the main window,
# the About box with its SVG picture drawn, and Help > User Manual with no PDF viewer installed.
# Sourced by clean-root-checks.sh.
in_root useradd --create-home surveyor
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
await test -s "$work/display" || die "Xvfb did not start"
DISPLAY=":$(head -1 "$work/display")"
export DISPLAY
chroot --userspec=surveyor:surveyor "$root" env -i HOME=/home/surveyor PATH=/usr/bin:/bin \
  LANG=C.UTF-8 DISPLAY="$DISPLAY" sh -c 'cd && exec vireon-logger' >"$work/logger.log" 2>&1 &
logger=$!
pids+=("$logger")

# shellcheck disable=SC2317  # called through eval
shown() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)" ]; }
# Types keys into the window named target until check succeeds: a slow start may show a window
# before it takes keys.
# shellcheck disable=SC2317  # called through await
keys_until() {
  local target=$1 check=$2 window
  shift 2
  window=$(xdotool search --onlyvisible --name "^$target\$" 2>/dev/null | head -1)
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key "$@" >/dev/null 2>&1
  sleep 0.3
  eval "$check"
}
gui_fail() { tail -20 "$work/logger.log" >&2; die "$@"; }
await keys_until "Select Communications Port" "shown 'Vireon Data Logger'" Return ||
  gui_fail "no main window after the port dialog"
await keys_until "Vireon Data Logger" "shown About" alt+h a || gui_fail "Help > About shows no box"
xwd -silent -id "$(xdotool search --onlyvisible --name '^About$' | head -1)" >"$work/about.xwd"
# The About box's 32x32 picture sits at 18,18 (10,10 in the panel at 8,8); 14,14 is panel.
drawn=$(python3 "$here/drawn-pixels.py" "$work/about.xwd" 18 18 32 32 14 14)
[ "$drawn" -ge 100 ] || fail "the About picture is blank ($drawn pixels drawn): SVG icons do not load"
await keys_until About "! shown About" Return || gui_fail "the About box does not close"
await keys_until "Vireon Data Logger" "shown Information" alt+h u ||
  gui_fail "Help > User Manual without a PDF viewer says nothing"
kill -TERM "$logger"
wait "$logger" || fail "the logger ended with status $? on SIGTERM"
