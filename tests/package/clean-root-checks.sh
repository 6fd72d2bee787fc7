#!/usr/bin/env bash
# The checks on a clean Debian 12 root, run by check-clean-root.sh in a private mount namespace on
# a root it has unpacked: the packages install with their dependencies alone (no recommended
# package but the desktop's opener), every program answers --version and has its man page, the
# map exports reach GDAL, the udev rules parse, the unattended logger's units verify and its user
# is made, the logger under a real X server draws its SVG icons and says why no PDF viewer shows
# the manual (clean-root-gui.sh), the enabled service starts for a bridge's target in the booted
# root (clean-root-service.sh), and a purge leaves nothing of the packages behind.
# Exit status as check-clean-root.sh's.
# Usage: clean-root-checks.sh ROOT TARBALL ARCHIVES PACKAGE.deb...
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root=$1 tarball=$2 archives=$3
shift 3
work=$(mktemp -d)
pids=()
status=0

# shellcheck disable=SC2317  # called by the trap
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "check-clean-root: $*" >&2; status=1; }
die() { fail "$@"; exit 1; }
# Polls a command until it succeeds, for at most 30 s.
await() {
  for _ in $(seq 300); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
in_root() {
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

mount_root() {
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mount --bind "$archives" "$root/var/cache/apt/archives"
}
unmount_root() { umount -R "$root/var/cache/apt/archives" "$root/sys" "$root/dev" "$root/proc"; }
mount_root

names=() in_root_debs=() contents=()
for deb in "$@"; do
  names+=("$(dpkg-deb -f "$deb" Package)")
  in_root_debs+=("/tmp/debs/$(basename "$deb")")
  mapfile -t -O "${#contents[@]}" contents < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./||')
done
version=$(dpkg-deb -f "$1" Version)

# --- install: the dependencies alone, with xdg-utils but no PDF viewer ---
install() {
  in_root apt-get install -y -q --no-install-recommends "${in_root_debs[@]}" xdg-utils \
    >"$work/install.log" 2>&1
}
fetch_failed() { grep -qE '^E: (Failed to fetch|Unable to fetch)|Temporary failure resolving' "$1"; }
if ! install; then
  fetch_failed "$work/install.log" || { tail -20 "$work/install.log" >&2; die "apt cannot install"; }
  # The root's package lists are older than the archive: update them, and make a new root next time.
  rm -f "$tarball"
  in_root apt-get update -q >"$work/update.log" 2>&1 ||
    skip "the Debian archive cannot be reached: $(grep -m1 '^[EW]:' "$work/update.log")"
  if ! install; then
    fetch_failed "$work/install.log" &&
      skip "the dependencies cannot be downloaded: $(grep -m1 '^E:' "$work/install.log")"
    tail -20 "$work/install.log" >&2
    die "apt cannot install"
  fi
fi
in_root apt-get autoclean -q >/dev/null

# --- what the packages hold ---
programs=() rules=()
for item in "${contents[@]}"; do
  case $item in
    usr/bin/?*) programs+=("${item#usr/bin/}") ;;
    usr/lib/udev/rules.d/?*.rules) rules+=("/$item") ;;
  esac
done
for program in "${programs[@]}"; do
  answer=$(in_root "/usr/bin/$program" --version 2>&1) || fail "$program --version failed: $answer"
  [ "$answer" = "$program $version" ] || fail "$program --version says '$answer'"
  page=$(in_root man -w "$program" 2>&1) || fail "no man page for $program: $page"
done

# vireon-decode hands the map formats to vireon-export, which loads GDAL and makes the GeoPackage
# before it finds the input empty.
if printf '%s\n' "${names[@]}" | grep -qx vireon-data-logger-export; then
  answer=$(in_root /usr/bin/vireon-decode --export gpkg --out /tmp/empty.gpkg /dev/null 2>&1) &&
    fail "vireon-decode --export gpkg of nothing succeeded"
  grep -q "holds no packets; nothing was exported" <<<"$answer" ||
    fail "vireon-decode --export gpkg: $answer"
fi

if in_root udevadm verify --help >/dev/null 2>&1; then
  in_root udevadm verify "${rules[@]}" || fail "udevadm verify rejects the udev rules"
else
  # Older udev has no verify; a test run reads every rules file and names each bad line.
  in_root udevadm test --action=add /sys/devices/virtual/mem/null >"$work/udev.log" 2>&1 ||
    fail "udevadm test failed: $(tail -1 "$work/udev.log")"
  for rule in "${rules[@]}"; do
    if grep "^$rule:" "$work/udev.log" >&2; then fail "udev cannot read $rule"; fi
  done
fi

# --- the unattended logger's units and user ---
instance=CLEANROOT1
# systemd-analyze warns on stderr and still exits 0, so any word from it fails.
if ! verdict=$(in_root systemd-analyze verify "vireon-log@$instance.service" \
    "vireon-bridge@$instance.target" 2>&1) || [ -n "$verdict" ]; then
  fail "systemd-analyze verify: $verdict"
fi
in_root id -nG vireon 2>/dev/null | grep -qw plugdev || fail "no system user vireon in plugdev"

# shellcheck source=tests/package/clean-root-gui.sh
source "$here/clean-root-gui.sh"
# The service is started by booting the root, which brings its own mounts.
unmount_root
# shellcheck source=tests/package/clean-root-service.sh
source "$here/clean-root-service.sh"
mount_root

# --- purge: nothing of the packages stays ---
in_root apt-get purge -y -q "${names[@]}" >"$work/purge.log" 2>&1 ||
  { tail -20 "$work/purge.log" >&2; die "apt cannot purge the packages"; }
for name in "${names[@]}"; do
  state=$(in_root dpkg-query -W -f="\${db:Status-Status}" "$name" 2>/dev/null || true)
  [ -z "$state" ] || [ "$state" = not-installed ] || fail "$name is still $state after purge"
done
for item in "${contents[@]}"; do
  # Shared folders (usr/bin) stay; a file, or a folder named for the packages, must go.
  case $item in */) [[ $item == *vireon* ]] || continue ;; esac
  if [ -e "$root/$item" ] || [ -L "$root/$item" ]; then fail "purge left /$item"; fi
done
in_root getent passwd vireon >/dev/null && fail "purge left the system user vireon"
for left in /var/lib/vireon /etc/systemd/system/vireon-bridge@.target.wants; do
  if [ -e "$root$left" ]; then fail "purge left $left"; fi
done
exit $status
