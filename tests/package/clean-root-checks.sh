#!/usr/bin/env bash
# The checks on a clean Debian 12 root, run by check-clean-root.sh in a private mount namespace on
# a root it has unpacked: the packages install with their dependencies alone (no recommended
# package but the desktop's opener), every program answers --version, the logger under a real X
# server draws its SVG icons and says why no PDF viewer shows the manual, each program has its man
# page, the udev rules parse, and a purge leaves nothing of the packages behind.
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

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
mount --bind "$archives" "$root/var/cache/apt/archives"

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

# --- the logger as a new user sees it ---
in_root useradd --create-home surveyor
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
await test -s "$work/display" || die "Xvfb did not start"
DISPLAY=":$(head -1 "$work/display")"
export DISPLAY
chroot --userspec=surveyor:surveyor "$root" env -i HOME=/home/surveyor PATH=/usr/bin:/bin \
  LANG=C.UTF-8 DISPLAY="$DISPLAY" sh -c 'cd && exec vireon-logger' >"$work/logger.log" 2>&1 &
pids+=($!)

# shellcheck disable=SC2317  # called through eval
shown() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)" ]; }
# Types keys into the window named target until check succeeds: a slow start may show a window
# before it takes keys.
# shellcheck disable=SC2317  # called through await
keys_until() {
  local target=$1 check=$2 window
  shift 2
  window=$(xdotool search --onlyvisible --name "^$target\$" 2>/dev/null | head -1)
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key "$@" >/dev/null 2>&1
  sleep 0.3
  eval "$check"
}
gui_fail() { tail -20 "$work/logger.log" >&2; die "$@"; }
await keys_until "Select Communications Port" "shown 'Vireon Data Logger'" Return ||
  gui_fail "no main window after the port dialog"
await keys_until "Vireon Data Logger" "shown About" alt+h a || gui_fail "Help > About shows no box"
xwd -silent -id "$(xdotool search --onlyvisible --name '^About$' | head -1)" >"$work/about.xwd"
# The About box's 32x32 picture sits at 18,18 (10,10 in the panel at 8,8); 14,14 is panel.
drawn=$(python3 "$here/drawn-pixels.py" "$work/about.xwd" 18 18 32 32 14 14)
[ "$drawn" -ge 100 ] || fail "the About picture is blank ($drawn pixels drawn): SVG icons do not load"
await keys_until About "! shown About" Return || gui_fail "the About box does not close"
await keys_until "Vireon Data Logger" "shown Information" alt+h u ||
  gui_fail "Help > User Manual without a PDF viewer says nothing"

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
exit $status
