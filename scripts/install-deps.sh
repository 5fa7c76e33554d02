#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tellavo need, when
# they are missing. Runs as root on Debian 12 (or through sudo when present).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libssl-dev libxml2-dev libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686 mingw-w64-tools
  python3 openssl
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

run_as_root=()
[ "$(id -u)" -ne 0 ] && run_as_root=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -qq
"${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
