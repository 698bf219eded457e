#!/usr/bin/env bash
# Installs the Debian packages the project builds with, only when one is missing.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libeigen3-dev libboost-math-dev
          libpugixml-dev nlohmann-json3-dev libcli11-dev libfmt-dev libbenchmark-dev libxml2-utils)
# `setup.sh fuzz` also installs what the libFuzzer targets need.
[ "${1:-}" = "fuzz" ] && packages+=(clang libclang-rt-14-dev)
# `setup.sh format` also installs clang-format.
[ "${1:-}" = "format" ] && packages+=(clang-format)
# `setup.sh layers` also installs python3 for scripts/check_layers.py.
[ "${1:-}" = "layers" ] && packages+=(python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
