#!/usr/bin/env bash
# Installs what building, testing and running QLM_T4_USB needs on Debian 12. Does nothing when all of
# it is present. Run as root, or as a user who may use sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core
  libusb-1.0-0-dev libpng-dev libcli11-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libopencv-dev
  clang-format clang libclang-rt-dev
  scdoc dpkg-dev file lintian
  xvfb xauth openbox
  python3-astropy
  libindi-dev indi-bin iproute2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
