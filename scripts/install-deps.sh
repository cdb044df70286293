#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, test and run.
# Checks with dpkg first, so a second run takes seconds.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang-format
  libboost-dev libboost-filesystem-dev libboost-thread-dev libboost-system-dev
  libexpat1-dev libyajl-dev zlib1g-dev libdeflate-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6opengl6-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri
  xvfb xauth fonts-dejavu-core
  python3 python3-numpy python3-scipy python3-nibabel python3-igraph
  zip unzip libjpeg-turbo-progs
  povray
  xdotool x11-xserver-utils imagemagick qt6-image-formats-plugins desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
