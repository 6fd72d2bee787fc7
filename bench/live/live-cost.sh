#!/usr/bin/env bash
# What the running logger costs beside programs that merely read a port: in each measurement mode
# three simulators stream at the link's full rate, one each to the logger (under Xvfb and openbox,
# as on a desktop), to `vireon-decode --port` and to `cat`. Prints each one's CPU share and
# context switches per second over the same interval, the ratios to cat, and the logger's
# resident memory a minute after it connected.
# Usage: bench/live/live-cost.sh [build folder, default build/dev] [seconds per mode, default 55]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin="$(cd "${1:-$root/build/dev}" && pwd)/bin"
seconds=${2:-55}
warmup=5
for tool in Xvfb openbox xdotool stty; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed" >&2; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

hz=$(getconf CLK_TCK)
# utime + stime of the whole process, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Voluntary and forced switches of every thread the process has now.
switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
rss_mb() { awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

start_sim() {  # mode name
  "$bin/vireon-sim" --mode "$1" --full-rate --seed 7 --link "$work/$2.tty" >/dev/null </dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$work/$2.tty" ] && return; sleep 0.1; done
  echo "live-cost: vireon-sim made no terminal" >&2
  exit 1
}

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

printf '%-7s %-14s %8s %12s %10s %10s\n' mode program "CPU %" "switches/s" "CPU ×cat" "sw ×cat"
for mode in table scan single; do
  for who in logger decode cat; do start_sim "$mode" "$who"; done
  (cd "$work" && VIREON_COM1="$work/logger.tty" HOME="$work" exec "$bin/vireon-logger") \
    >/dev/null 2>&1 &
  logger=$!
  pids+=("$logger")
  dialog=$(xdotool search --sync --name "Select Communications Port" | head -1)
  xdotool key --window "$dialog" Return
  "$bin/vireon-decode" --port "$work/decode.tty" >/dev/null 2>&1 &
  decode=$!
  pids+=("$decode")
  stty -F "$work/cat.tty" raw -echo 38400
  cat "$work/cat.tty" >/dev/null &
  reader=$!
  pids+=("$reader")
  connected=$SECONDS

  sleep "$warmup"
  declare -A t0 s0
  for p in "$logger" "$decode" "$reader"; do t0[$p]=$(ticks "$p"); s0[$p]=$(switches "$p"); done
  begin=$(date +%s.%N)
  sleep "$seconds"
  end=$(date +%s.%N)
  declare -A cpu sw
  for p in "$logger" "$decode" "$reader"; do
    cpu[$p]=$(awk -v a="${t0[$p]}" -v b="$(ticks "$p")" -v hz="$hz" -v s="$begin" -v e="$end" \
      'BEGIN { printf "%.3f", 100 * (b - a) / hz / (e - s) }')
    sw[$p]=$(awk -v a="${s0[$p]}" -v b="$(switches "$p")" -v s="$begin" -v e="$end" \
      'BEGIN { printf "%.0f", (b - a) / (e - s) }')
  done
  for pair in "logger:$logger" "decode:$decode" "cat:$reader"; do
    name=${pair%%:*} p=${pair#*:}
    awk -v m="$mode" -v n="$name" -v c="${cpu[$p]}" -v s="${sw[$p]}" \
      -v cc="${cpu[$reader]}" -v cs="${sw[$reader]}" \
      'BEGIN { printf "%-7s %-14s %8.2f %12d %10.2f %10.2f\n", m, n, c, s, c / cc, s / cs }'
  done
  echo "$mode: logger resident memory $(rss_mb "$logger") MB after $((SECONDS - connected)) s"
  # Readers first: a reader whose simulator went first reports an I/O error.
  for p in "$reader" "$decode" "$logger" "${pids[@]:2}"; do kill "$p" 2>/dev/null || true; done
  wait "${pids[@]:2}" 2>/dev/null || true
  pids=("${pids[@]:0:2}")
  rm -f "$work"/*.tty
  unset t0 s0 cpu sw
done
