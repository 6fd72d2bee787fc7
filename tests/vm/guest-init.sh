#!/bin/sh
# The guest's first process: mounts the kernel's file systems, loads the modules of the USB
# bridge and of the shared folder, starts udevd (libusb finds a re-plugged bridge through it),
# then runs /vm/run, which the run's own archive brings, and powers off.
# "vireon.probe" on the kernel command line only proves the guest boots.
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
if grep -q vireon.probe /proc/cmdline; then
  echo "vireon-guest: probe"
  poweroff -f
fi
release=$(uname -r)
while read -r ko; do
  insmod "/lib/modules/$release/$ko" || echo "vireon-guest: cannot load $ko"
done </etc/vireon-modules
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /share ||
  echo "vireon-guest: no shared folder"
/sbin/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle --timeout=30
echo "vireon-guest: up"
if [ -x /vm/run ]; then
  /vm/run >/share/guest.log 2>&1
  echo "vireon-guest: done $?"
else
  echo "vireon-guest: nothing to run"
fi
sync
poweroff -f
