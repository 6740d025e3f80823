#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, by purpose:
#   run    building and running the program (scripts/run.sh)
#   test   everything the test stages need on top of run (scripts/test.sh)
#   package  making the Debian package (scripts/package.sh) on top of run
#   fresh  building a minimal Debian root for the fresh and package stages
# Without an argument: run and test. Needs root (or sudo); safe to run again.
# --list GROUP...: print the packages of the groups instead, one a line.
# Everything goes in with --no-install-recommends, so a tool that is only a
# recommendation of what needs it (make for cmake, llvm-symbolizer for clang)
# must be named here.
set -euo pipefail
run=(
  # compiler and build tool; Boost.Math (header-only) for the equilibrium
  # solves: bracketed roots, Brent's minimum, PCHIP
  g++ cmake make libboost-dev
  # the window, Qt's own texts in Chinese, glyphs for them
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n fonts-wqy-microhei
  # spreadsheet export
  libreoffice-calc libreoffice-dev
)
test=(
  # test libraries, the locales the number tests compile, the CLI's reference
  libgtest-dev libgmock-dev libbenchmark-dev locales python3
  # Clang for the matrix, sanitizer and fuzz builds; llvm puts llvm-symbolizer
  # on PATH, without which sanitizer reports are bare addresses and leak
  # suppressions by function name never match
  clang libclang-rt-14-dev llvm
  # Windows build, run under Wine; the MSI made by wixl and read back by msiinfo
  # and msidump
  g++-mingw-w64-x86-64 wine wine64 fonts-wine wixl msitools
  # screenshots, start-up timing and the icon images
  xvfb xdotool x11-utils imagemagick librsvg2-bin icoutils python3-pefile
  # what a screen reader reads of the window: the accessibility bus on a
  # session bus of the test's own, read from Python through gi
  at-spi2-core gir1.2-atspi-2.0 python3-gi dbus-daemon
  # the Debian package's quality gates; appstreamcli for its AppStream metadata
  lintian desktop-file-utils appstream
)
# cpack -G DEB: dpkg-shlibdeps for the Depends, file to find the programs
package=(dpkg-dev file)
fresh=(debootstrap)

list_only=0
if [ "${1:-}" = --list ]; then
  list_only=1
  shift
fi
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(run test)
packages=()
for g in "${groups[@]}"; do
  case "$g" in
    run) packages+=("${run[@]}") ;;
    test) packages+=("${run[@]}" "${test[@]}") ;;
    package) packages+=("${run[@]}" "${package[@]}") ;;
    fresh) packages+=("${fresh[@]}") ;;
    *) echo "install-deps.sh: unknown group: $g (run, test, package, fresh)" >&2; exit 2 ;;
  esac
done

if [ "$list_only" = 1 ]; then
  printf '%s\n' "${packages[@]}" | awk '!seen[$0]++'
  exit 0
fi

missing=()
declare -A seen=()
for p in "${packages[@]}"; do
  [ -z "${seen[$p]:-}" ] || continue
  seen[$p]=1
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
