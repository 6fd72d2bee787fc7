#!/usr/bin/env bash
# USB on a real kernel: boots a Debian 12 guest with an emulated FT232 bridge (QEMU's usb-serial
# on an xHCI controller), whose line a relay joins to a vireon-sim pseudo-terminal on this side,
# and runs the guest's scenarios (tests/vm/scenarios.sh) against the built vireon-decode: libftdi,
# libusb, ftdi_sio, udevd and the package's udev rule all take part. Bridges are plugged and
# unplugged through QEMU's QMP socket when the guest asks.
# Usage: tests/vm/check-usb.sh [BUILD_DIR]      (default build/dev; logs in BUILD_DIR/vm-usb)
# Exit 0 when every scenario passed, 77 after "skipped: <why>" when the guest cannot run here
# (no QEMU, no kernel package, the guest not up in time), 1 otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source/build/dev}" && pwd)
boot_limit=${VIREON_VM_BOOT_LIMIT:-120}
run_limit=${VIREON_VM_RUN_LIMIT:-300}

skip() {
  echo "skipped: $*"
  exit 77
}
fail() {
  echo "vm usb: FAILED: $*"
  exit 1
}

for tool in qemu-system-x86_64 socat python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
for program in vireon-decode vireon-sim; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is not built"
done
status=0
guest=$(bash "$here/build-guest.sh") || status=$?
[ "$status" -eq 0 ] || { echo "$guest"; exit "$status"; }

logs=$build/vm-usb
rm -rf "$logs"
mkdir -p "$logs/share/ctl"
share=$logs/share
# Unix socket paths must stay short: a folder of their own under /tmp.
sockets=$(mktemp -d /tmp/vireon-vm.XXXXXX)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$sockets" "$logs/initrd"
}
trap cleanup EXIT

# The run's own archive, unpacked over the cached guest: the scenarios, the built decoder with
# the libraries it links (copied from this machine, so they match it), and the package's rule.
stage=$logs/stage
mkdir -p "$stage/vm/bin" "$stage/etc/udev/rules.d"
install -m 0755 "$here/scenarios.sh" "$stage/vm/run"
cp "$build/bin/vireon-decode" "$stage/vm/bin/"
ldd "$build/bin/vireon-decode" | grep -oE '/[^ ]+' | while read -r lib; do
  mkdir -p "$stage$(dirname "$lib")"
  cp -L "$lib" "$stage$lib"
done
cp "$source/packaging/70-vireon-data-logger.rules" "$stage/etc/udev/rules.d/"
cp "$source/packaging/vireon-log@.service" "$stage/vm/"
(cd "$stage" && find . | cpio -o -H newc --quiet) >"$logs/run.cpio"
cat "$guest/base.cpio.gz" "$logs/run.cpio" >"$logs/initrd"
rm -rf "$stage" "$logs/run.cpio"

# One simulator per bridge, each behind a relay that QEMU's character device connects to.
for n in 1 2; do
  "$build/bin/vireon-sim" --serial "VSIM000$n" --link "$sockets/sim$n.tty" \
    </dev/null >"$logs/sim$n.log" 2>&1 &
  pids+=($!)
done
for n in 1 2; do
  for _ in $(seq 50); do [ -e "$sockets/sim$n.tty" ] && break; sleep 0.1; done
  [ -e "$sockets/sim$n.tty" ] || fail "vireon-sim $n did not start: $(cat "$logs/sim$n.log")"
  socat "UNIX-LISTEN:$sockets/c$n.sock" "FILE:$sockets/sim$n.tty,raw,echo=0" \
    >"$logs/relay$n.log" 2>&1 &
  pids+=($!)
done
for n in 1 2; do
  for _ in $(seq 50); do [ -S "$sockets/c$n.sock" ] && break; sleep 0.1; done
  [ -S "$sockets/c$n.sock" ] || fail "relay $n did not start: $(cat "$logs/relay$n.log")"
done

qemu=(qemu-system-x86_64 -M pc -smp 1 -nodefaults -no-user-config -display none -no-reboot
  -kernel "$guest/vmlinuz")

# /dev/kvm may be there and still abort or hang QEMU: a short boot decides, else TCG.
accel=tcg
if [ -r /dev/kvm ] && [ -w /dev/kvm ] &&
    timeout -k 5 10 "${qemu[@]}" -accel kvm -m 256 -initrd "$guest/base.cpio.gz" \
      -append "console=ttyS0 quiet panic=-1 vireon.probe" -serial "file:$logs/probe.log" \
      >"$logs/probe-qemu.log" 2>&1 &&
    grep -q "vireon-guest: probe" "$logs/probe.log"; then
  accel=kvm
fi
echo "vm usb: guest $(basename "$guest"), $accel"

start=$SECONDS
"${qemu[@]}" -accel "$accel" -m 1024 -initrd "$logs/initrd" \
  -append "console=ttyS0 quiet panic=-1" -serial "file:$logs/console.log" \
  -D "$logs/qemu-trace.log" -trace usb_serial_set_baud \
  -qmp "unix:$sockets/qmp.sock,server=on,wait=off" \
  -device qemu-xhci,id=xhci \
  -chardev "socket,id=c1,path=$sockets/c1.sock" -chardev "socket,id=c2,path=$sockets/c2.sock" \
  -device usb-serial,id=b1,bus=xhci.0,port=2,chardev=c1,serial=FT000001 \
  -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
  >"$logs/qemu.log" 2>&1 &
qemu_pid=$!
pids+=("$qemu_pid")

console_tail() { tail -n 25 "$logs/console.log" 2>/dev/null | sed 's/^/  console: /'; }

while ! grep -q "vireon-guest: up" "$logs/console.log" 2>/dev/null; do
  if ! kill -0 "$qemu_pid" 2>/dev/null; then
    cat "$logs/qemu.log"
    console_tail
    fail "QEMU ended before the guest came up"
  fi
  if [ $((SECONDS - start)) -ge "$boot_limit" ]; then
    echo "skipped: the guest did not come up within $boot_limit s ($accel)"
    console_tail
    exit 77
  fi
  sleep 0.5
done
echo "vm usb: guest up in $((SECONDS - start)) s"

# The last baud rate the guest set on a bridge, as QEMU traced it.
last_baud() {
  local baud
  baud=$(grep usb_serial_set_baud "$logs/qemu-trace.log" | tail -1 | grep -oE '[0-9]+$') || true
  echo "ok ${baud:-none}"
}

# Carries out one request of the guest (see host_do in scenarios.sh) and prints the answer.
act() {
  local error
  case "$1" in
    plug | unplug)
      if error=$(python3 "$here/qmp.py" "$sockets/qmp.sock" "$@" 2>&1); then echo ok; else
        echo "error: $error"; fi ;;
    baud) last_baud ;;
    *) echo "error: no such request: $*" ;;
  esac
}

up=$SECONDS
while kill -0 "$qemu_pid" 2>/dev/null; do
  for request in "$share"/ctl/*.req; do
    [ -e "$request" ] || continue
    read -r -a words <"$request"
    rm -f "$request"
    n=$(basename "$request" .req)
    echo "vm usb: guest asks: ${words[*]}"
    act "${words[@]}" >"$share/ctl/$n.tmp"
    mv "$share/ctl/$n.tmp" "$share/ctl/$n.done"
  done
  if [ $((SECONDS - up)) -ge "$run_limit" ]; then
    kill "$qemu_pid" 2>/dev/null || true
    echo "vm usb: the scenarios did not end within $run_limit s"
    break
  fi
  sleep 0.2
done
wait "$qemu_pid" 2>/dev/null || true
echo "vm usb: guest ran $((SECONDS - up)) s, $((SECONDS - start)) s in all"

[ -s "$share/results" ] || { console_tail; fail "the guest wrote no results"; }
planned=$(awk '/^planned/ { print $2 }' "$share/results")
sed -n 's/^\(pass\|fail\) /  \1 /p' "$share/results"
passes=$(grep -c '^pass ' "$share/results" || true)
fails=$(grep -c '^fail ' "$share/results" || true)
if [ "$fails" -gt 0 ] || [ "$passes" -ne "${planned:-0}" ]; then
  echo "--- guest log (tail)"
  tail -n 40 "$share/guest.log" 2>/dev/null || true
  [ "$((passes + fails))" -eq "${planned:-0}" ] || console_tail
  fail "$passes of ${planned:-?} scenarios passed (logs in $logs)"
fi
echo "vm usb: all $passes scenarios passed"
