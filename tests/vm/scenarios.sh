#!/bin/sh
# The USB check's scenarios, run inside the guest as /vm/run (busybox sh). Bridge FT000001 is
# plugged at boot on USB port 2 and carries simulator VSIM0001; FT000002 (VSIM0002) is plugged
# when a scenario asks. The host plugs and unplugs bridges on request (see host_do) and reads
# /share/results: one "pass NAME" or "fail NAME: reason" line per scenario, after a
# "planned N" line. A new scenario is a function here and its name in SCENARIOS.
export PATH=/vm/bin:/bin:/sbin HOME=/tmp
SCENARIOS="decode hotplug two_bridges kernel_driver busy udev_rule service"
results=/share/results
work=/tmp/vm
mkdir -p "$work"
requests=0

say() { echo "$*" >&2; }

# host_do COMMAND...: asks the host to act on the machine ("plug ID SERIAL CHARDEV PORT",
# "unplug ID", "baud ID") and prints its answer; fails unless the answer starts with "ok".
host_do() {
  requests=$((requests + 1))
  echo "$*" >"/share/ctl/$requests.tmp"
  mv "/share/ctl/$requests.tmp" "/share/ctl/$requests.req"
  waited=0
  while [ ! -e "/share/ctl/$requests.done" ]; do
    sleep 0.2
    waited=$((waited + 1))
    [ "$waited" -lt 300 ] || { echo "the host did not answer '$*'"; return 1; }
  done
  answer=$(cat "/share/ctl/$requests.done")
  echo "$answer"
  case "$answer" in ok*) return 0 ;; *) return 1 ;; esac
}

# until_true SECONDS COMMAND...: polls the command every 0.2 s until it succeeds.
until_true() {
  limit=$(($1 * 5))
  shift
  while ! "$@" 2>/dev/null; do
    limit=$((limit - 1))
    [ "$limit" -gt 0 ] || return 1
    sleep 0.2
  done
}

count_of() { grep -c "$1" "$2" 2>/dev/null || true; }
at_least() { [ "$(count_of "$1" "$2")" -ge "$3" ]; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
grew_past() { [ "$(size_of "$1")" -gt "$2" ]; }

# The tty and the sysfs folder of the bridge with this serial number.
by_id_of() {
  for link in /dev/serial/by-id/*"$1"*; do
    [ -e "$link" ] && echo "$link" && return 0
  done
  return 1
}
tty_of() { link=$(by_id_of "$1") && readlink -f "$link"; }
usb_of() {
  for d in /sys/bus/usb/devices/*; do
    [ "$(cat "$d/serial" 2>/dev/null)" = "$1" ] && echo "$d" && return 0
  done
  return 1
}

# plugged SERIAL: the bridge is there and udev has named its port.
plugged() { udevadm settle --timeout=10 && [ -n "$(tty_of "$1")" ]; }

# decode NAME SECONDS OUTPUT: vireon-decode --port NAME; its exit status in $rc.
decode() {
  timeout -s KILL $(($2 + 20)) vireon-decode --port "$1" --duration "$2" --summary \
    >"$3.out" 2>"$3.err"
  rc=$?
}

# decoded OUTPUT SIM: the run decoded packets from that simulator, read from its serial answer.
decoded() {
  grep -q "\"SerialNumber\":\"$2\"" "$1.out" || {
    echo "no serial number answer from $2 (exit $rc): $(tail -c 300 "$1.err") $(tail -1 "$1.out")"
    return 1
  }
  packets=$(tail -1 "$1.out" | sed -n 's/.*"packets":\([0-9]*\).*/\1/p')
  [ "${packets:-0}" -ge 10 ] || { echo "only ${packets:-0} packets: $(tail -1 "$1.out")"; return 1; }
}

scenario_decode() {
  decode USB 4 "$work/decode"
  [ "$rc" -eq 0 ] || { echo "vireon-decode --port USB exited $rc: $(cat "$work/decode.err")"; return 1; }
  decoded "$work/decode" VSIM0001 || return 1
  baud=$(host_do baud b1) || { echo "$baud"; return 1; }
  [ "$baud" = "ok 38400" ] || { echo "the bridge was set to '${baud#ok }' baud, not 38400"; return 1; }
}

scenario_hotplug() {
  log=$work/hotplug/run.KLF
  mkdir -p "$work/hotplug"
  vireon-decode --port USB --log "$log" >"$work/hotplug.out" 2>"$work/hotplug.err" &
  pid=$!
  until_true 20 grew_past "$log" 200 || { echo "no log written: $(cat "$work/hotplug.err")"; return 1; }
  for round in 1 2; do
    host_do unplug b1 >/dev/null || { echo "unplug failed"; return 1; }
    until_true 15 at_least "link lost" "$work/hotplug.err" "$round" ||
      { echo "unplug $round: no 'link lost' reported"; return 1; }
    kill -0 "$pid" || { echo "vireon-decode ended after unplug $round"; return 1; }
    host_do plug b1 FT000001 c1 2 >/dev/null || { echo "re-plug failed"; return 1; }
    until_true 30 at_least "link restored" "$work/hotplug.err" "$round" ||
      { echo "re-plug $round: no 'link restored' reported: $(tail -2 "$work/hotplug.err")"; return 1; }
    size=$(size_of "$log")
    until_true 15 grew_past "$log" "$size" || { echo "the log stopped after re-plug $round"; return 1; }
  done
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || { echo "vireon-decode exited $status after SIGTERM"; return 1; }
  set -- "$work/hotplug"/*
  [ "$#" -eq 1 ] || { echo "$# files where one log should be: $*"; return 1; }
  vireon-decode --summary "$log" >"$work/hotplug.klf" 2>/dev/null
  summary=$(tail -1 "$work/hotplug.klf")
  case "$summary" in *'"bad_checksum":0'*'"truncated":0'*) ;; *)
    echo "the log does not read back whole: $summary"; return 1 ;;
  esac
  # Each reconnection asks for the serial number again; its answers are in the one file.
  answers=$(count_of '"type":28' "$work/hotplug.klf")
  [ "$answers" -ge 2 ] || { echo "$answers serial answers logged, not one per re-plug"; return 1; }
}

scenario_two_bridges() {
  host_do plug b2 FT000002 c2 1 >/dev/null || { echo "plugging FT000002 failed"; return 1; }
  until_true 20 plugged FT000002 || { echo "FT000002 did not appear"; return 1; }
  decode "USB FT000002" 3 "$work/chosen"
  decoded "$work/chosen" VSIM0002 || return 1
  decode "USB NOSUCH" 2 "$work/nosuch"
  [ "$rc" -eq 2 ] || { echo "USB NOSUCH exited $rc, not 2"; return 1; }
  grep -q "Could not open USB NOSUCH: no FTDI device with serial number NOSUCH" \
    "$work/nosuch.err" || { echo "USB NOSUCH said: $(cat "$work/nosuch.err")"; return 1; }
  # FT000002 sits on the lower port and FT000001 was plugged first; then FT000001 comes back last,
  # on the highest port: plain USB opens FT000001 either way.
  decode USB 3 "$work/plain1"
  decoded "$work/plain1" VSIM0001 || return 1
  if ! host_do unplug b1 >/dev/null || ! host_do plug b1 FT000001 c1 3 >/dev/null; then
    echo "moving FT000001 to port 3 failed"
    return 1
  fi
  until_true 20 plugged FT000001 || { echo "FT000001 did not come back"; return 1; }
  decode USB 3 "$work/plain2"
  decoded "$work/plain2" VSIM0001 || return 1
  host_do unplug b2 >/dev/null || { echo "unplugging FT000002 failed"; return 1; }
}

scenario_kernel_driver() {
  tty=$(tty_of FT000001)
  [ -n "$tty" ] || { echo "FT000001 has no ttyUSB port"; return 1; }
  vireon-decode --port USB --duration 5 >"$work/detach.out" 2>"$work/detach.err" &
  pid=$!
  until_true 15 at_least SerialNumber "$work/detach.out" 1 || { echo "no data over USB"; return 1; }
  [ ! -e "$tty" ] || { echo "$tty still there while USB holds the bridge"; return 1; }
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || { echo "vireon-decode --port USB --duration 5 exited $status"; return 1; }
  until_true 15 test -e "$tty" || { echo "$tty did not come back after a normal exit"; return 1; }
  vireon-decode --port USB >"$work/term.out" 2>"$work/term.err" &
  pid=$!
  until_true 15 at_least SerialNumber "$work/term.out" 1 || { echo "no data over USB"; return 1; }
  kill -TERM "$pid"
  wait "$pid"
  until_true 15 test -e "$tty" || { echo "$tty did not come back after SIGTERM"; return 1; }
  until_true 15 plugged FT000001 || { echo "udev did not name $tty again"; return 1; }
  decode "$tty" 3 "$work/tty"
  decoded "$work/tty" VSIM0001 || return 1
  by_id=$(by_id_of FT000001)
  decode "$by_id" 3 "$work/byid"
  decoded "$work/byid" VSIM0001 || return 1
}

scenario_busy() {
  tty=$(tty_of FT000001)
  [ -n "$tty" ] || { echo "FT000001 has no ttyUSB port"; return 1; }
  # Raw and without echo, so the simulator's bytes are neither held back nor sent back.
  (stty raw -echo 38400 && exec cat) <"$tty" >"$work/held" &
  holder=$!
  until_true 10 grew_past "$work/held" 100 || { echo "the holder of $tty reads nothing"; return 1; }
  decode USB 2 "$work/busy"
  [ "$rc" -eq 2 ] || { echo "USB exited $rc while $tty is open, not 2"; return 1; }
  grep -q "in use by another program as $tty" "$work/busy.err" ||
    { echo "USB said: $(cat "$work/busy.err")"; return 1; }
  kill -0 "$holder" || { echo "the program holding $tty lost it"; return 1; }
  size=$(size_of "$work/held")
  until_true 5 grew_past "$work/held" "$size" || { echo "$tty stopped reading"; return 1; }
  kill "$holder"
  wait "$holder" 2>/dev/null || true
}

scenario_udev_rule() {
  usb=$(usb_of FT000001) || { echo "FT000001 not in sysfs"; return 1; }
  node=$(printf '/dev/bus/usb/%03d/%03d' "$(cat "$usb/busnum")" "$(cat "$usb/devnum")")
  mode=$(stat -c '%A %G' "$node")
  [ "$mode" = "crw-rw---- plugdev" ] || { echo "$node is '$mode', not crw-rw---- plugdev"; return 1; }
  su -s /bin/sh tester -c "vireon-decode --port USB --duration 3 --summary" \
    >"$work/member.out" 2>"$work/member.err"
  rc=$?
  decoded "$work/member" VSIM0001 || return 1
  su -s /bin/sh outsider -c "vireon-decode --port USB --duration 2" \
    >"$work/outsider.out" 2>"$work/outsider.err"
  rc=$?
  [ "$rc" -eq 2 ] || { echo "a user outside plugdev: exit $rc, not 2"; return 1; }
  grep -q "Could not open USB: permission denied.*(install the udev rule)" "$work/outsider.err" ||
    { echo "a user outside plugdev was told: $(cat "$work/outsider.err")"; return 1; }
  for dev in "$usb" "/sys/class/tty/$(basename "$(tty_of FT000001)")"; do
    udevadm info -q property -p "$dev" | grep -qx "ID_MM_DEVICE_IGNORE=1" ||
      { echo "$dev lacks ID_MM_DEVICE_IGNORE=1"; return 1; }
  done
}

# The guest has no systemd: what the rule hands it for a bridge is read back, and the service's
# own command line is run for the bridge as systemd would, as a member of plugdev.
scenario_service() {
  usb=$(usb_of FT000001) || { echo "FT000001 not in sysfs"; return 1; }
  props=$(udevadm info -q property -p "$usb")
  echo "$props" | grep -qx "SYSTEMD_WANTS=vireon-bridge@FT000001.target" ||
    { echo "the bridge wants no vireon-bridge@FT000001.target"; return 1; }
  echo "$props" | grep -q "^TAGS=.*:systemd:" || { echo "the bridge lacks the systemd tag"; return 1; }
  logs=/tmp/service-logs
  mkdir -p "$logs" && chmod 0777 "$logs"
  command=$(sed -n 's/^ExecStart=//p' /vm/vireon-log@.service |
    sed "s/%i/FT000001/g; s|/var/lib/vireon/logs/FT000001|$logs|; s|/usr/bin/||")
  [ -n "$command" ] || { echo "the unit has no ExecStart"; return 1; }
  su -s /bin/sh tester -c "$command --duration 4" >"$work/service.out" 2>"$work/service.err"
  rc=$?
  [ "$rc" -eq 0 ] || { echo "'$command' exited $rc: $(tail -1 "$work/service.err")"; return 1; }
  for log in "$logs"/*.KLF; do
    [ "$(size_of "$log")" -gt 200 ] && return 0
  done
  echo "'$command' logged nothing: $(tail -1 "$work/service.err")"
  return 1
}

uptime_s() { cut -d. -f1 /proc/uptime; }

# shellcheck disable=SC2086 # the list is split on purpose
set -- $SCENARIOS
echo "planned $#" >"$results"
until_true 20 plugged FT000001 || say "FT000001 is not there at the start"
for name in $SCENARIOS; do
  say "=== $name"
  start=$(uptime_s)
  if "scenario_$name" >"$work/$name.why" 2>&1; then
    echo "pass $name ($(($(uptime_s) - start)) s)" >>"$results"
  else
    echo "fail $name: $(tail -1 "$work/$name.why")" >>"$results"
  fi
  cat "$work/$name.why" >&2
done
# What the scenarios saw, for the host's logs.
cp -r "$work" /share/work
