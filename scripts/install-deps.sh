#!/usr/bin/env bash
# Installs every Debian 12 package the program, its tests and its tools need.
# Idempotent and non-interactive; returns at once when everything is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache git
  qtbase5-dev libqt5sql5-sqlite qtmultimedia5-dev libqt5multimedia5-plugins
  libqt5opengl5-dev libqt5websockets5-dev libqt5svg5-dev qttools5-dev-tools
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev libavdevice-dev
  libosip2-dev libopus-dev libspandsp-dev libgsm1-dev libc-ares-dev libssl-dev
  libqrencode-dev libsqlite3-dev sqlite3 zbar-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth sip-tester ffmpeg pulseaudio libpulse-dev libasound2-dev
  clang libclang-rt-14-dev iproute2 procps
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
