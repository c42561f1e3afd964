#!/usr/bin/env bash
# Installs what building and testing Pelloria needs on Debian or Ubuntu.
# As root it installs the missing packages; otherwise it prints the exact
# apt-get line and fails, so that nothing half-works later.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  qtbase5-dev qtbase5-dev-tools
  libbenchmark-dev
  libseccomp-dev
  zlib1g-dev
  fonts-dejavu-core
  python3-dev pybind11-dev python3-numpy python3-pytest
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Pelloria needs these packages: ${missing[*]}" >&2
  echo "Install them as root, then run this again:" >&2
  echo "  sudo sh -c '$line'" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
