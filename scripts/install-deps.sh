#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need,
# only those that are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic
  qt6-base-dev libcli11-dev libcairo2-dev zlib1g-dev
  libgdal-dev gdal-bin libqhull-dev
  poppler-utils valgrind xvfb xauth xdotool
  help2man desktop-file-utils shared-mime-info libxml2-utils dpkg-dev file
  librsvg2-bin
  python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pytest python3-pil
  python3-dask python3-distributed python3-contourpy python3-matplotlib python3-gdal
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
