#!/usr/bin/env bash
# Checks a built vireon-data-logger .deb: lintian finds no error, the desktop entry and the
# metainfo validate, every installed item is in it, each program in it answers --version, and the
# unattended logger's systemd units verify without a warning.
# Usage: tests/package/check-package.sh PACKAGE.deb
set -uo pipefail
deb=$1
app=com.ndq.VireonDataLogger
status=0
fail() { echo "check-package: $*" >&2; status=1; }

lintian --fail-on error "$deb" || fail "lintian reports errors"

expected=(
  usr/bin/vireon-logger usr/bin/vireon-decode usr/bin/vireon-sim usr/bin/marlune-probe
  usr/share/doc/vireon-data-logger/Vireon1.0.pdf
  usr/share/doc/vireon-data-logger/copyright
  usr/share/doc/vireon-data-logger/LICENSE
  usr/share/doc/vireon-data-logger/changelog.gz
  "usr/share/applications/$app.desktop"
  "usr/share/metainfo/$app.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$app.svg"
  usr/lib/udev/rules.d/70-vireon-data-logger.rules
  usr/lib/systemd/system/vireon-log@.service usr/lib/systemd/system/vireon-bridge@.target
  usr/share/lintian/overrides/vireon-data-logger
  usr/share/man/man1/vireon-logger.1.gz usr/share/man/man1/vireon-decode.1.gz
  usr/share/man/man1/vireon-sim.1.gz usr/share/man/man1/marlune-probe.1.gz
)
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')
for item in "${expected[@]}"; do
  grep -qx "$item" <<<"$listing" || fail "missing $item"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >/dev/null ||
  fail "metainfo invalid"
grep -q 'ATTR{idVendor}=="0403".*TAG+="uaccess".*ID_MM_DEVICE_IGNORE' \
  "$root/usr/lib/udev/rules.d/70-vireon-data-logger.rules" || fail "udev rule incomplete"
# An instance of each unit, its programs taken from the package; systemd-analyze warns on stderr
# and still exits 0, so any word from it fails.
units=$(mktemp -d)
trap 'rm -rf "$root" "$units"' EXIT
sed "s|/usr/bin/|$root/usr/bin/|g" "$root/usr/lib/systemd/system/vireon-log@.service" \
  >"$units/vireon-log@CHECK.service"
cp "$root/usr/lib/systemd/system/vireon-bridge@.target" "$units/vireon-bridge@CHECK.target"
if ! verdict=$(systemd-analyze verify --man=no "$units"/* 2>&1) || [ -n "$verdict" ]; then
  fail "systemd-analyze verify: $verdict"
fi
version=$(dpkg-deb -f "$deb" Version)
for program in vireon-logger vireon-decode vireon-sim marlune-probe; do
  answer=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$answer" = "$program $version" ] || fail "$program --version says '$answer'"
done
[ $status -eq 0 ] && echo "check-package: $deb is complete and lintian-clean"
exit $status
