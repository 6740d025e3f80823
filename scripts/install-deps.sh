#!/usr/bin/env bash
# Installs everything the build, the tests and the window need on a fresh
# Debian 12 machine. Needs root (or sudo); safe to run again.
set -euo pipefail
packages=(
  # native build and tests
  cmake g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev locales python3
  # Windows build, run under Wine
  g++-mingw-w64-x86-64 wine wine64 fonts-wine
  # Linux window
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xdotool x11-utils imagemagick
  fonts-wqy-microhei qt6-translations-l10n librsvg2-bin icoutils python3-pefile
  # spreadsheet export
  libreoffice-calc libreoffice-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
