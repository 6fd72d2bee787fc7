#!/usr/bin/env bash
# The quickest way to see the logger at work: installs what is missing, builds, starts the
# instrument simulator on a pseudo-terminal and the logger with COM1 pointing at it. Press OK in
# the port dialog; closing the logger stops the simulator. Extra arguments go to vireon-sim,
# e.g. `scripts/demo.sh --mode table`.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VIREON_BUILD_DIR:-$root/build/dev}"  # the dev preset's folder unless told otherwise

"$root/scripts/install-deps.sh"
# The same compiler cache as the test command, whichever clone this is.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
cmake --preset dev -S "$root" -B "$build" -DVIREON_GUI=ON >/dev/null
cmake --build "$build" --target vireon-logger vireon-sim

link="${XDG_RUNTIME_DIR:-/tmp}/vireon-demo-$$.tty"
# The simulator reads this terminal: type single, scan, table, start or marker and Enter to
# operate the instrument while the logger runs; unplug and plug pull the cable and put it back.
echo "demo: type single, scan, table, start or marker and Enter here to operate the instrument;"
echo "demo: unplug and plug pull the cable out and put it back"
"$build/bin/vireon-sim" --link "$link" --start-on-connect "$@" >/dev/null <&0 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$link"' EXIT

for _ in $(seq 100); do
  [ -e "$link" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "demo: vireon-sim did not start" >&2; exit 1; }
  sleep 0.1
done
[ -e "$link" ] || { echo "demo: vireon-sim made no terminal" >&2; exit 1; }

# From its own folder, so Help > User Manual finds Vireon1.0.pdf.
cd "$build/bin"
VIREON_COM1="$link" ./vireon-logger
