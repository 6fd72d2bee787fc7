#!/usr/bin/env bash
# live_replay.sh SIM DECODER LOG: vireon-decode --port's JSON Lines of LOG played by the simulator
# as fast as the decoder takes it. The same bytes every time: the answers to the decoder's two
# requests come first, then every record, and the decoder's own --duration ends it.
set -euo pipefail
sim=$1 decoder=$2 log=$3
link=$(mktemp -u "${TMPDIR:-/tmp}/vireon-live-replay.XXXXXX")
"$sim" --replay "$log" --speed 0 --link "$link" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f "$link"' EXIT
"$decoder" --port "$link" --wait --duration 2 --summary
