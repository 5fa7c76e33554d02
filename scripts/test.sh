#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the posix target and
# runs every test, runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then cross-builds the 32-bit and the 64-bit
# Windows module, client and tests and runs each build's tests under Wine in
# a fresh 64-bit (WoW64) prefix of its build folder, with hosts of its own
# bitness; the 64-bit stage also registers and installs the 32-bit module
# beside its own. Then builds everything with clang, runs the suite (with its
# many-thread stress test) under ThreadSanitizer, and runs each fuzzer for
# 30 seconds after replaying its corpus and past findings.
#
# Where this machine starts no 32-bit program (a kernel without 32-bit
# support), or with TELLAVO_32BIT_PROGRAMS=no, the Windows stages leave out
# the tests that would start a 32-bit Windows process, name them, and the
# closing line says so.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

jobs=$(nproc)

# Each stage's heading says how long the run has taken so far, and after it
# what the heading adds ($2).
stage() { printf '== %s (at %d:%02d%s)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)) "${2:-}"; }

# Whether 32-bit Windows programs can run here, found once by starting Wine's
# 32-bit loader: some kernels start no 32-bit program at all.
no_32bit=
if [ "${TELLAVO_32BIT_PROGRAMS:-}" = no ]; then
  no_32bit="TELLAVO_32BIT_PROGRAMS=no"
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  no_32bit="this machine runs none"
fi
windows_options=()
if [ -n "$no_32bit" ]; then
  windows_options=(-DTELLAVO_RUN_32BIT_PROGRAMS=OFF)
  echo "32-bit Windows programs will not be run ($no_32bit): the tests that start one are left out"
else
  windows_options=(-DTELLAVO_RUN_32BIT_PROGRAMS=ON)
fi

stage "posix: build and test"
cmake --preset posix
cmake --build --preset posix -j "$jobs"
ctest --preset posix -j "$jobs"

stage "posix: AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset posix-sanitize
cmake --build --preset posix-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset posix-sanitize -j "$jobs"

# windows_stage PRESET: cross-builds one Windows build and runs its tests in
# a fresh prefix, whose server is stopped at the end.
windows_stage() {
  local preset=$1 prefix
  stage "$preset: cross-build, then test under Wine"
  cmake --preset "$preset" "${windows_options[@]}"
  cmake --build --preset "$preset" -j "$jobs"
  for prefix in build/$1/wineprefix build/$1/wineprefix-unregistered; do
    WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  done
  # A test that hangs under Wine until its time-out runs once more
  # (docs/testing.md, "A test that hangs under Wine"); ctest's output keeps
  # the time-out. A test that fails is never run again.
  ctest --preset "$preset" -j "$jobs" --repeat after-timeout:2
  stop_wine "$preset"
  if [ -s "build/$preset/tests-not-run.txt" ]; then
    echo "$preset: not run, since 32-bit Windows programs do not run here ($no_32bit):"
    sed 's/^/  - /' "build/$preset/tests-not-run.txt"
  fi
}
# stop_wine PRESET...: stops the servers of the presets' prefixes (the main
# one, and the one where nothing is registered).
stop_wine() {
  local preset prefix
  for preset in "$@"; do
    for prefix in wineprefix wineprefix-unregistered; do
      WINEPREFIX="$PWD/build/$preset/$prefix" wineserver -k 2>/dev/null || true
    done
  done
}
trap 'stop_wine win32 win64' EXIT
# The 64-bit stage takes the 32-bit module from the first.
windows_stage win32
windows_stage win64

stage "posix: clang"
cmake --preset posix-clang
cmake --build --preset posix-clang -j "$jobs"

stage "posix: ThreadSanitizer"
cmake --preset posix-tsan
cmake --build --preset posix-tsan -j "$jobs"
# The entity-expansion test bounds its own running time, which
# ThreadSanitizer's slowdown, not the code, would exceed.
# OpenSSL's own atomics are invisible to ThreadSanitizer (tests/stress/tsan.supp).
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/stress/tsan.supp \
  ctest --preset posix-tsan -j "$jobs" \
  -E '^XMLSecurity\.InternalEntitiesAreSubstitutedButExpansionIsBounded$'

stage "fuzzers: replay the corpora, then 30 seconds each"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz
scripts/fuzz.sh 30
stage "all passed" "${no_32bit:+; 32-bit Windows programs not run: $no_32bit}"
