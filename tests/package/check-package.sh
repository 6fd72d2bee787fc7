#!/usr/bin/env bash
# Checks the built .debs: lintian finds no error in any, every installed item is in its package,
# each program answers --version; for vireon-data-logger also that the desktop entry and the
# metainfo validate and the unattended logger's systemd units verify without a warning, that it
# recommends the export package and that the export package needs it at the same version.
# Usage: tests/package/check-package.sh PACKAGE.deb...
set -uo pipefail
app=com.ndq.VireonDataLogger
status=0
fail() { echo "check-package: $*" >&2; status=1; }

# has DEB ITEM...: every item is in the package.
has() {
  local listing item
  listing=$(dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./||')
  shift
  for item in "$@"; do
    grep -qx "$item" <<<"$listing" || fail "missing $item"
  done
}

# answers ROOT VERSION PROGRAM...: each program says "<program> <version>".
answers() {
  local root=$1 version=$2 program answer
  shift 2
  for program in "$@"; do
    answer=$("$root/usr/bin/$program" --version) || fail "$program --version failed"
    [ "$answer" = "$program $version" ] || fail "$program --version says '$answer'"
  done
}

check_export() {
  local deb=$1 root
  has "$deb" usr/bin/vireon-export usr/share/man/man1/vireon-export.1.gz \
    usr/share/doc/vireon-data-logger-export/copyright \
    usr/share/doc/vireon-data-logger-export/LICENSE \
    usr/share/doc/vireon-data-logger-export/changelog.gz
  dpkg-deb -f "$deb" Depends | grep -q "vireon-data-logger (= $(dpkg-deb -f "$deb" Version))" ||
    fail "vireon-data-logger-export does not depend on vireon-data-logger of its version"
  root=$(mktemp -d)
  dpkg-deb -x "$deb" "$root"
  answers "$root" "$(dpkg-deb -f "$deb" Version)" vireon-export
  rm -rf "$root"
}

check_logger() {
  deb=$1
  dpkg-deb -f "$deb" Recommends | grep -qw vireon-data-logger-export ||
    fail "vireon-data-logger does not recommend vireon-data-logger-export"
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
  has "$deb" "${expected[@]}"

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
  answers "$root" "$(dpkg-deb -f "$deb" Version)" vireon-logger vireon-decode vireon-sim \
    marlune-probe
  rm -rf "$root" "$units"
  trap - EXIT
}

for deb in "$@"; do
  lintian --fail-on error "$deb" || fail "lintian reports errors in $deb"
  case $(dpkg-deb -f "$deb" Package) in
    vireon-data-logger) check_logger "$deb" ;;
    vireon-data-logger-export) check_export "$deb" ;;
    *) fail "$deb is no package of this project" ;;
  esac
done
[ $status -eq 0 ] && echo "check-package: $* complete and lintian-clean"
exit $status
