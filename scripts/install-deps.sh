#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need; skips what is there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libgl-dev
  libftdi1-dev nlohmann-json3-dev libgdal-dev libsqlite3-dev python3-gdal python3-pil time
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool openbox fonts-liberation dbus
  help2man dpkg-dev lintian desktop-file-utils appstream python3 mmdebstrap systemd-container x11-apps
  qemu-system-x86 busybox-static udev kmod cpio socat
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
