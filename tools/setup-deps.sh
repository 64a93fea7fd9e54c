#!/usr/bin/env bash
# Installs every Debian package the project needs, only when something is missing.
# Idempotent and quiet when all is there.
set -euo pipefail
pkgs=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-serialport-dev
  libpng-dev zlib1g-dev libpixman-1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libmosquitto-dev mosquitto openssl ca-certificates nanopb libnanopb-dev
  clang libclang-rt-14-dev clang-format git ccache
  fonts-nanum xvfb xauth x11-apps xdotool imagemagick locales
  dpkg-dev file desktop-file-utils appstream systemd
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
