#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tellavo need, when
# they are missing. Runs as root on Debian 12 (or through sudo when present).
# The win32 tests run under 32-bit Wine, which comes from the i386
# architecture; clang and its runtimes build the fuzzers; dpkg-dev, lintian
# and wixl with msitools make and check the Debian package and the MSI; curl's command-line
# client is what the getinfo benchmark measures the module against.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang-14 clang libclang-rt-14-dev
  libcurl4-openssl-dev libssl-dev libxml2-dev libffi-dev libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-i686 mingw-w64-tools
  wine wine32:i386
  python3 openssl
  dpkg-dev lintian man-db wixl msitools
  curl
)

run_as_root=()
[ "$(id -u)" -ne 0 ] && run_as_root=(sudo)

new_architecture=false
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${run_as_root[@]}" dpkg --add-architecture i386
  new_architecture=true
fi

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
