#!/usr/bin/env bash
# Builds and runs every test: the suite plainly, under AddressSanitizer + UndefinedBehaviorSanitizer,
# under ThreadSanitizer, each libFuzzer target for a bounded time, and the Debian packages' checks,
# among them an install on a clean Debian 12 root. Installs what it needs. The closing line counts
# tests and checks: passed, failed, and skipped (a check that cannot run here says why).
# Usage: scripts/test-all.sh [--quick]   (--quick: the plain run only)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
jobs=$(nproc)
fuzz_seconds=${VIREON_FUZZ_SECONDS:-30}

bash scripts/install-deps.sh || { echo "installing packages failed"; exit 1; }

# One compiler cache for every clone of the project on this machine.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1"

passed=0
failed=0
skipped=0
failures=()
skips=()

# run_check NAME COMMAND...: one check script, counted by its exit status: 0 passed, 77 skipped
# (it printed "skipped: <why>"), anything else failed.
run_check() {
  local name=$1 rc log
  shift
  echo "=== $name"
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  case $rc in
    0) passed=$((passed + 1)) ;;
    77) skipped=$((skipped + 1)); skips+=("$name: $(grep -m1 '^skipped: ' "$log" | cut -c10-)") ;;
    *) failed=$((failed + 1)); failures+=("$name") ;;
  esac
  rm -f "$log"
}

# run_suite PRESET: configure, build, run ctest; counts the tests it reports.
run_suite() {
  local preset=$1 dir=build/$1 log
  echo "=== $preset: build"
  if ! cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
    cat "build/$preset-configure.log"; failures+=("$preset configure"); return 1
  fi
  if ! cmake --build "$dir" -j "$jobs"; then failures+=("$preset build"); return 1; fi
  echo "=== $preset: ctest"
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  local total fails skips_here
  total=$(grep -oE 'out of [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+' || echo 0)
  fails=$(grep -oE '[0-9]+ tests failed' "$log" | tail -1 | grep -oE '^[0-9]+' || echo 0)
  # ctest counts a skipped test among the passed; it lists it as "(Skipped)".
  skips_here=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)
  [ -n "$total" ] || total=0
  [ -n "$fails" ] || fails=0
  passed=$((passed + total - fails - skips_here))
  failed=$((failed + fails))
  skipped=$((skipped + skips_here))
  if [ "$total" -eq 0 ]; then failures+=("$preset ran no test"); fi
  [ "$fails" -eq 0 ] || failures+=("$preset: $fails failed")
  rm -f "$log"
}

run_fuzzers() {
  echo "=== fuzz: build"
  if ! CXX=clang++ cmake --preset fuzz >build/fuzz-configure.log 2>&1; then
    cat build/fuzz-configure.log; failures+=("fuzz configure"); return 1
  fi
  if ! cmake --build build/fuzz --target fuzzers -j "$jobs"; then failures+=("fuzz build"); return 1; fi
  local f corpus
  while read -r f; do
    [ -n "$f" ] || continue
    corpus=$(mktemp -d)
    # tests/fuzz/seeds/<fuzzer>/ starts a fuzzer from real inputs (for the KLF reader: a whole,
    # a torn and a damaged log made from tests/data/session.bin; the first byte picks the block).
    if [ -d "tests/fuzz/seeds/$f" ]; then cp "tests/fuzz/seeds/$f"/* "$corpus"/; fi
    echo "=== fuzz: $f for ${fuzz_seconds}s"
    if ./build/fuzz/bin/"$f" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" \
        >"build/fuzz/$f.log" 2>&1; then
      passed=$((passed + 1)); tail -3 "build/fuzz/$f.log"
    else
      failed=$((failed + 1)); failures+=("fuzz $f"); tail -60 "build/fuzz/$f.log"
    fi
    rm -rf "$corpus"
  done <build/fuzz/fuzzers.txt
}

# The release build's packages: lintian-clean and complete, then installed on a clean Debian 12 root.
run_package() {
  echo "=== package: build"
  local out debs=()
  if ! out=$(bash scripts/package.sh build/package); then
    failed=$((failed + 1)); failures+=("package build"); return 1
  fi
  mapfile -t debs <<<"$out"
  run_check "package" bash tests/package/check-package.sh "${debs[@]}"
  run_check "clean root" bash tests/package/check-clean-root.sh "${debs[@]}"
}

mkdir -p build
run_suite dev
if [ "${1:-}" != "--quick" ]; then
  run_suite asan
  run_suite tsan
  run_fuzzers
  run_package
  # USB on a real kernel: an emulated FT232 bridge in a virtual machine, once per run.
  run_check "vm usb" bash tests/vm/check-usb.sh build/dev
fi

if [ ${#skips[@]} -gt 0 ]; then
  printf 'SKIPPED: %s\n' "${skips[@]}"
fi
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
fi
echo "tests: $passed passed, $failed failed, $skipped skipped"
[ ${#failures[@]} -eq 0 ]
