#!/usr/bin/env bash
# Installs the built packages on a fresh minimal Debian 12 root, as a new user gets them, and checks
# what only a clean system shows (clean-root-checks.sh says what). The root is made once with
# mmdebstrap and kept as a tarball under ~/.cache/vireon, where a fresh clone finds it, named by
# what it holds; the packages installed into it are kept beside it, so a later run downloads
# nothing.
# Exit status: 0 passed; 77 skipped, after a line "skipped: <why>", where no root can be made here;
# anything else failed.
# Usage: tests/package/check-clean-root.sh PACKAGE.deb...
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -gt 0 ] || { echo "usage: $0 PACKAGE.deb..." >&2; exit 2; }
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
started=$SECONDS

skip() { echo "skipped: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing into a chroot needs root"
for tool in mmdebstrap unshare systemd-nspawn journalctl Xvfb xdotool xwd python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done

cache="${XDG_CACHE_HOME:-$HOME/.cache}/vireon/clean-root"
mkdir -p "$cache/archives/partial"
exec 9>"$cache/lock"
flock 9

# A changed list of packages or mirrors names another root.
suite=bookworm
include=systemd,udev,man-db
mirrors=(
  "deb http://deb.debian.org/debian $suite main"
  "deb http://deb.debian.org/debian $suite-updates main"
  "deb http://deb.debian.org/debian-security $suite-security main"
)
key=$(printf '%s\n' "$suite minbase $include" "${mirrors[@]}" | sha256sum | cut -c1-16)
tarball="$cache/debian12-minbase-$key.tar"

if [ ! -f "$tarball" ]; then
  echo "check-clean-root: making a minbase Debian 12 root, kept in $cache"
  # The package lists stay in the root, so a later run installs without an update.
  if ! mmdebstrap --variant=minbase --format=tar --include="$include" --skip=cleanup/apt/lists \
      "$suite" "$tarball.part" "${mirrors[@]}" >"$cache/mmdebstrap.log" 2>&1; then
    rm -f "$tarball.part"
    skip "mmdebstrap could not make a Debian 12 root:" \
      "$(grep -m1 '^E:' "$cache/mmdebstrap.log" || tail -1 "$cache/mmdebstrap.log")"
  fi
  mv "$tarball.part" "$tarball"
  find "$cache" -maxdepth 1 -name 'debian12-minbase-*.tar' ! -path "$tarball" -delete
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/vireon-clean-root.XXXXXX")
# Nothing is mounted in the root out here (the checks mount in their own namespace), so it can
# be removed whole however they end.
trap 'rm -rf --one-file-system "$root"' EXIT
tar -C "$root" -xf "$tarball"
mkdir -p "$root/tmp/debs"
cp "${debs[@]}" "$root/tmp/debs/"

status=0
unshare --mount --propagation private \
  bash "$here/clean-root-checks.sh" "$root" "$tarball" "$cache/archives" "${debs[@]}" || status=$?
[ $status -eq 0 ] && echo "check-clean-root: passed in $((SECONDS - started)) s"
exit $status
