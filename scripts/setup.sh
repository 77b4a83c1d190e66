#!/usr/bin/env bash
# Installs what building and testing Tindrel II needs on a Debian machine, when it is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev
  fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
  python3 python3-dbfread libdbd-xbase-perl libxml2-utils
  xvfb xauth imagemagick
  at-spi2-core gir1.2-atspi-2.0 python3-gi dbus-daemon dbus-bin xdotool
  desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
