#!/usr/bin/env bash
# Installs everything the player needs to build, run and be tested on Debian 12
# (clang and its runtime libraries for the fuzz targets, clang-format for the
# check that the sources follow .clang-format).
set -euo pipefail
packages=(
  g++ cmake make pkg-config
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev libx11-dev libasound2-dev fonts-ipafont-mincho
  libjpeg-dev libpng-dev libfluidsynth-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick
  clang libclang-rt-14-dev clang-format
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All build and test dependencies are installed."
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
