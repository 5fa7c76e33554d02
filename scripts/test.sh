#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the posix target and
# runs every test, runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then cross-builds the win32 module, its client
# and its tests and runs them under 32-bit Wine, in a fresh prefix of the
# build folder. Then builds everything with clang, runs the suite (with its
# many-thread stress test) under ThreadSanitizer, and runs each fuzzer for
# 30 seconds after replaying its corpus and past findings.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

jobs=$(nproc)

echo "== posix: build and test"
cmake --preset posix
cmake --build --preset posix -j "$jobs"
ctest --preset posix -j "$jobs"

echo "== posix: AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset posix-sanitize
cmake --build --preset posix-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset posix-sanitize -j "$jobs"

echo "== win32: cross-build, then test under Wine"
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
prefix=build/win32/wineprefix
stop_wine() { WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true; }
stop_wine
rm -rf "$prefix"
trap stop_wine EXIT
ctest --preset win32 -j "$jobs"

echo "== posix: clang"
cmake --preset posix-clang
cmake --build --preset posix-clang -j "$jobs"

echo "== posix: ThreadSanitizer"
cmake --preset posix-tsan
cmake --build --preset posix-tsan -j "$jobs"
# The entity-expansion test bounds its own running time, which
# ThreadSanitizer's slowdown, not the code, would exceed.
# OpenSSL's own atomics are invisible to ThreadSanitizer (tests/stress/tsan.supp).
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/stress/tsan.supp \
  ctest --preset posix-tsan -j "$jobs" \
  -E '^XMLSecurity\.InternalEntitiesAreSubstitutedButExpansionIsBounded$'

echo "== fuzzers: replay the corpora, then 30 seconds each"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz
scripts/fuzz.sh 30
