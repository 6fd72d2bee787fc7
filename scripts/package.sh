#!/usr/bin/env bash
# Builds the release preset (no tests, no benchmarks), hardened as Debian packages are, and writes
# the Debian packages (vireon-data-logger_<version>_<arch>.deb, vireon-data-logger-export_... and
# any other the project makes) into OUTDIR (default build/package), the only packages there.
# Installs what it needs; its standard output is the packages' paths, one a line, the main
# package's last.
# Usage: scripts/package.sh [OUTDIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(realpath -m "${1:-$root/build/package}")"

bash "$root/scripts/install-deps.sh" >&2
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
cd "$root"
# Hardened as Debian builds its packages: fortified functions, stack protector, full RELRO, PIE.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake --preset release \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build build/release -j "$(nproc)" >&2

mkdir -p "$out"
rm -f "$out"/vireon-data-logger*_*.deb
(cd build/release && cpack -G DEB -B "$out") >&2
rm -rf "$out/_CPack_Packages"
shopt -s nullglob
main=("$out"/vireon-data-logger_*.deb)
others=("$out"/vireon-data-logger-*_*.deb)
[ ${#main[@]} -eq 1 ] || { echo "package.sh: no vireon-data-logger package made" >&2; exit 1; }
# The main package last, so that a caller taking the last line gets it.
printf '%s\n' "${others[@]}" "${main[0]}"
