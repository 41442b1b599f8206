#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the programs need.
# Safe to run again: it only installs what is missing.
set -euo pipefail

# Every package is named here, with what needs it; Recommends are never installed, so a
# package used only through another's Recommends must be listed itself.
# tests/CMakeLists.txt's PythonHelperPackages checks the Python side of this list.
packages=(
  # the build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev qt6-serialbus-dev libqt6serialbus6
  libqt6svg6 qt6-svg-dev              # the SVG icons (and Qt's SVG icon engine plugin)
  libqcustomplot-dev libqcustomplot2.1-qt6
  libgtest-dev libgmock-dev
  help2man                            # man pages from each program's --help
  # at run time: Qt's plugins loaded by name
  libqt6sql6-sqlite                   # QSQLITE, the local records store
  libqt6sql6-psql                     # QPSQL, the plant store
  qt6-translations-l10n               # Qt's own dialogs in Russian
  fonts-dejavu-core                   # Cyrillic text in offscreen tests and certificates
  # the tests
  xvfb xauth                          # xvfb-run for looking at windows
  python3                             # /usr/bin/python3: the Modbus peer, the PostgreSQL port finder
  python3-pymodbus                    # the independent Modbus rig peer (tests/unit/rig/pymodbus_rig.py)
  python3-serial python3-serial-asyncio # pymodbus imports both; Debian only recommends them
  python3-uncertainties               # the independent check of combined uncertainties (tests/unit/procedure)
  poppler-utils                       # pdftotext, pdftoppm: certificates read back
  postgresql                          # initdb, pg_ctl: the throwaway plant server
  libxml2-utils                       # xmllint: certificates checked against the DCC schema
  dpkg-dev desktop-file-utils appstream # the package check: cpack's deb, validators
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
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
