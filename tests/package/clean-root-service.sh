# shellcheck shell=bash disable=SC2154  # root, work, here, instance: set by clean-root-checks.sh
# The unattended logger switched on with its one documented command, then the root booted with
# systemd (nspawn) into the target udev starts for a plugged-in bridge: the target must start
# vireon-log@<serial>.service, which makes its log folder as the user vireon. The root must not be
# mounted into meanwhile. Sourced by clean-root-checks.sh after $instance is set.
in_root systemctl enable vireon-log@.service >/dev/null 2>&1 ||
  fail "systemctl enable vireon-log@.service failed"
journal="$root/var/log/journal"
mkdir -p "$journal"
systemd-nspawn --quiet --register=no --keep-unit --directory="$root" --boot -- \
  "systemd.unit=vireon-bridge@$instance.target" >"$work/boot.log" 2>&1 &
boot=$!
pids+=("$boot")
# shellcheck disable=SC2317  # called through await
service_started() {
  journalctl --directory="$journal" --quiet --no-pager --unit="vireon-log@$instance.service" \
    2>/dev/null | grep -q "Started vireon-log@$instance.service"
}
if await service_started; then
  owner=$(stat -c %U "$root/var/lib/vireon/logs/$instance" 2>/dev/null || true)
  uid=$(stat -c %u "$root/var/lib/vireon/logs/$instance" 2>/dev/null || true)
  [ "$uid" = "$(in_root id -u vireon)" ] ||
    fail "the service's log folder belongs to '$owner' ($uid), not to vireon"
else
  tail -20 "$work/boot.log" >&2
  fail "vireon-bridge@$instance.target did not start vireon-log@$instance.service"
fi
# SIGTERM to nspawn shuts the booted root down in order.
kill -TERM "$boot"
wait "$boot" || true
