#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Runs as root or through sudo. lua5.4 is the other side of
# the script benchmark (bench/script_lua_bench.cpp). libqt6svg6 holds the SVG
# image and icon plugins (libqsvg, libqsvgicon) that draw the program's glyphs;
# without them every button of the bars is blank.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config g++ ccache
  qt6-base-dev qt6-qpa-plugins libqt6svg6 libqscintilla2-qt6-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libjpeg62-turbo-dev libpulse-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg fonts-liberation fonts-dejavu-core pulseaudio dbus-daemon
  xvfb xdotool imagemagick
  clang-14 libclang-rt-14-dev
  valgrind
  lua5.4
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
