#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, if missing.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libbox2d-dev libsdl2-dev libsdl2-mixer-dev libsdl2-ttf-dev libsdl2-image-dev
  libfontconfig-dev libepoxy-dev libglm-dev libmp3lame-dev
  googletest libgtest-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils xdotool libgl1-mesa-dri
  fonts-dejavu-core fluid-soundfont-gm
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
