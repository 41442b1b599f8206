#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the programs need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqt6svg6 qt6-svg-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  libgtest-dev libgmock-dev
  fonts-dejavu-core
  xvfb xauth
  dpkg-dev help2man desktop-file-utils appstream
  libqt6sql6-sqlite qt6-translations-l10n
  python3 poppler-utils
  qt6-serialbus-dev libqt6serialbus6 python3-pymodbus
  libqt6sql6-psql postgresql
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
