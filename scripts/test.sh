#!/usr/bin/env bash
# The whole test run: installs what is missing, builds the posix target and
# runs every test, runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and cross-compiles the win32 module.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

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

echo "== win32: cross-compile"
cmake --preset win32
cmake --build --preset win32 -j "$jobs"
