#!/usr/bin/env bash
# Installs the Debian packages MORV needs when they are missing.
# Usage: scripts/setup.sh run|test
set -euo pipefail

run_packages=(build-essential cmake pkg-config ccache libsdl1.2-compat-dev libsdl-ttf2.0-dev
              libsdl-image1.2-dev libsdl-mixer1.2-dev libsdl-net1.2-dev libfontconfig-dev libx11-dev libxtst-dev zlib1g-dev)
test_packages=(fonts-dejavu-core libjpeg-dev libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool imagemagick x11-utils socat x11-xkb-utils xclip
               sox libsox-fmt-mp3 vorbis-tools lame clang libclang-rt-14-dev clang-format clang-tidy python3
               uim-xim uim-pinyin xfonts-base xfonts-wqy x11-xserver-utils locales)

wanted=("${run_packages[@]}")
[ "${1:-run}" = test ] && wanted+=("${test_packages[@]}")

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The input-method test types pinyin in a Chinese UTF-8 locale.
if [ "${1:-run}" = test ] && ! locale -a 2> /dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "Making the zh_CN.UTF-8 locale"
  "${sudo_cmd[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
