#!/usr/bin/env bash
# Builds the USB check's guest from Debian 12 packages, or finds it built: Debian's kernel with
# the modules for xHCI, USB serial (ftdi_sio), virtio and 9p, busybox, and systemd-udevd with the
# rules that name serial ports. It is cached outside the source tree, keyed by the package versions
# and this script, so a fresh clone builds it once per machine.
# Usage: tests/vm/build-guest.sh        prints the guest's folder (vmlinuz, base.cpio.gz)
# Exit 77 after "skipped: <why>" when the packages cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${VIREON_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vireon}/vm

skip() {
  echo "skipped: $*"
  exit 77
}

version_of() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null; }

# linux-image-amd64 names the kernel package of the day (linux-image-6.1.0-NN-amd64).
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }'
}

kpkg=$(kernel_package)
if [ -z "$kpkg" ] && [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq >/dev/null 2>&1 || true
  kpkg=$(kernel_package)
fi
[ -n "$kpkg" ] || skip "no kernel package (linux-image-amd64) known to apt"
kver=$(apt-cache show --no-all-versions "$kpkg" 2>/dev/null | awk '/^Version:/ { print $2; exit }')
for tool in busybox udevadm depmod cpio gzip; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
[ -x /lib/systemd/systemd-udevd ] || skip "systemd-udevd is not installed (package udev)"
versions="$kpkg=$kver busybox=$(version_of busybox-static) udev=$(version_of udev)"
versions+=" libc6=$(version_of libc6)"
sum=$(cat "$here/build-guest.sh" "$here/guest-init.sh" | sha256sum | cut -c1-12)
key=$(printf '%s-%s' "$versions" "$sum" | tr -c 'A-Za-z0-9._+=\n-' '_')
dir=$cache/$key
if [ -s "$dir/vmlinuz" ] && [ -s "$dir/base.cpio.gz" ]; then
  echo "$dir"
  exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/.build.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download "$kpkg" >/dev/null 2>&1) || skip "cannot download $kpkg"
dpkg-deb -x "$work"/"$kpkg"_*.deb "$work/k"
release=$(basename "$(ls -d "$work"/k/lib/modules/*)")
depmod -b "$work/k" "$release"

root=$work/root
mkdir -p "$root"/{bin,sbin,etc,proc,sys,dev,run,tmp,share,lib/modules/"$release"}
mkdir -p "$root"/etc/udev/rules.d "$root"/lib/udev/rules.d

# The modules, each after those it needs (modules.dep lists a module's needs, deepest last).
modules="usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio"
modules+=" virtio virtio_ring virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci"
modules+=" netfs fscache 9pnet 9pnet_virtio 9p"
order=()
for m in $modules; do
  line=$(grep -E "/${m}\.ko:" "$work/k/lib/modules/$release/modules.dep") || {
    echo "kernel $release has no module $m" >&2
    exit 1
  }
  read -r -a needs <<<"${line#*:}"
  for ((i = ${#needs[@]} - 1; i >= 0; i--)); do order+=("${needs[i]}"); done
  order+=("${line%%:*}")
done
: >"$root/etc/vireon-modules"
for ko in "${order[@]}"; do
  grep -qxF "$ko" "$root/etc/vireon-modules" && continue
  echo "$ko" >>"$root/etc/vireon-modules"
  mkdir -p "$root/lib/modules/$release/$(dirname "$ko")"
  cp "$work/k/lib/modules/$release/$ko" "$root/lib/modules/$release/$ko"
done
cp "$work/k/lib/modules/$release"/modules.{order,builtin,builtin.modinfo} "$root/lib/modules/$release/"
depmod -b "$root" "$release"

cp /bin/busybox "$root/bin/busybox"
for applet in $(busybox --list); do
  [ -e "$root/bin/$applet" ] || ln -s busybox "$root/bin/$applet"
done
cp /bin/udevadm "$root/bin/udevadm"
ln -s ../bin/udevadm "$root/sbin/systemd-udevd"
ldd /bin/udevadm | grep -oE '/[^ ]+' | while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
cp /lib/udev/rules.d/{50-udev-default,60-serial}.rules "$root/lib/udev/rules.d/"

cat >"$root/etc/passwd" <<'USERS'
root:x:0:0:root:/root:/bin/sh
tester:x:1000:1000:in plugdev:/tmp:/bin/sh
outsider:x:1001:1001:in no group:/tmp:/bin/sh
USERS
cat >"$root/etc/group" <<'GROUPS'
root:x:0:
tty:x:5:
disk:x:6:
dialout:x:20:
kmem:x:15:
audio:x:29:
video:x:44:
plugdev:x:46:tester
input:x:101:
render:x:102:
sgx:x:103:
kvm:x:104:
tester:x:1000:
outsider:x:1001:
GROUPS
install -m 0755 "$here/guest-init.sh" "$root/init"

(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/base.cpio.gz"
# The run's own archive is appended uncompressed; the kernel looks for one only at a multiple of 4.
truncate -s %4 "$work/base.cpio.gz"
cp "$work"/k/boot/vmlinuz-* "$work/vmlinuz"
mkdir -p "$work/out"
mv "$work/vmlinuz" "$work/base.cpio.gz" "$work/out/"
echo "$versions" >"$work/out/versions"
# Keep one guest: older keys are other package versions that will not come back.
find "$cache" -mindepth 1 -maxdepth 1 -not -name '.build.*' -exec rm -rf {} +
mv "$work/out" "$dir"
echo "$dir"
