#!/usr/bin/env bash
# Builds the release preset (no tests, no benchmarks) and writes the Debian package
# vireon-data-logger_<version>_<arch>.deb into OUTDIR (default build/package), the only package
# there. Installs what it needs; prints the package's path as its last line.
# Usage: scripts/package.sh [OUTDIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(realpath -m "${1:-$root/build/package}")"

bash "$root/scripts/install-deps.sh" >&2
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
cd "$root"
cmake --preset release >&2
cmake --build build/release -j "$(nproc)" >&2

mkdir -p "$out"
rm -f "$out"/vireon-data-logger_*.deb
(cd build/release && cpack -G DEB -B "$out") >&2
rm -rf "$out/_CPack_Packages"
debs=("$out"/vireon-data-logger_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package.sh: no single package made" >&2; exit 1; }
echo "${debs[0]}"
