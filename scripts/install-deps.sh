#!/usr/bin/env bash
# Installs the Debian packages that Tellavo needs, when they are missing. Runs
# as root on Debian 12 (or through sudo when present).
#
#   scripts/install-deps.sh demo   what the demo needs: the posix build of the
#                                  module and the client, and the simulator
#   scripts/install-deps.sh posix  posix development: the demo's packages and
#                                  what the posix tests, benchmarks and Debian
#                                  package need, nothing of Wine or MinGW
#   scripts/install-deps.sh        everything the whole test run needs
#
# The Windows tests run in a 64-bit Wine prefix: wine64 runs the 64-bit
# build's programs and wine32, from the i386 architecture, the 32-bit ones;
# clang and its runtimes build the fuzzers; dpkg-dev, lintian
# and wixl with msitools make and check the Debian package and the MSI;
# osslsigncode signs and verifies the Windows files; curl's command-line
# client is what the getinfo benchmark measures the module against.
set -euo pipefail

demo_packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libssl-dev libxml2-dev libffi-dev nlohmann-json3-dev
  python3 openssl
)
posix_test_packages=(
  libgtest-dev googletest libbenchmark-dev
  dpkg-dev lintian man-db
  curl
)
# The rest of the whole run: the Windows builds under Wine with their MSIs
# and signatures, and the clang builds (ThreadSanitizer, the fuzzers).
full_run_packages=(
  clang-14 clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64
  wixl msitools osslsigncode
)

case "${1:-all}" in
  demo) packages=("${demo_packages[@]}"); foreign_architectures=() ;;
  posix) packages=("${demo_packages[@]}" "${posix_test_packages[@]}"); foreign_architectures=() ;;
  all)
    packages=("${demo_packages[@]}" "${posix_test_packages[@]}" "${full_run_packages[@]}")
    foreign_architectures=(i386)
    ;;
  *) echo "usage: $0 [demo|posix|all]" >&2; exit 2 ;;
esac

run_as_root=()
[ "$(id -u)" -ne 0 ] && run_as_root=(sudo)

new_architecture=false
for architecture in "${foreign_architectures[@]}"; do
  if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
    "${run_as_root[@]}" dpkg --add-architecture "$architecture"
    new_architecture=true
  fi
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && ! $new_architecture && exit 0

export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -qq
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
"${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
