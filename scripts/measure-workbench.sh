#!/usr/bin/env bash
# The design workbench's speed, as figures (not a test): under a private
# Xvfb, the real window (veltrano-workbench-timing): a keystroke in R to the
# diagram repainted with its outcome, median and worst, for the first
# example and for a 100-stage ethanol–water column on NRTL; and the
# calculation alone.
#
#   scripts/measure-workbench.sh [BUILD_DIR] [KEYSTROKES]   (default build/default, 50)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
keystrokes=${2:-50}
tool=$build/app/veltrano-workbench-timing
[ -x "$tool" ] || { echo "no $tool: build the default preset first" >&2; exit 1; }

exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
read -r display <&3
home=$(mktemp -d)
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$home"' EXIT
mkdir -m 700 "$home/runtime"
echo "on Xvfb (X11, the raster painter), settings in a folder of their own:"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$display" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
  XDG_RUNTIME_DIR="$home/runtime" LANG=C.UTF-8 LC_ALL= "$tool" "$keystrokes"
