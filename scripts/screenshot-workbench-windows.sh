#!/usr/bin/env bash
# The design workbench of veltrano.exe (build/mingw) under Wine's X11 driver
# on a private Xvfb (own prefix build/wine-prefix-x11), started as
# `veltrano --design`, for a person to look at: ethanol/water designed near
# its tangent pinch (xF 0.2, xD 0.8, xW 0.02, R 1.2), and a column of 15
# stages on it rated; the window alone, frame included, saved as
#   OUT_DIR/workbench-windows-design.png and OUT_DIR/workbench-windows-rating.png
#   scripts/screenshot-workbench-windows.sh [OUT_DIR]   (default build)
# Needs Xvfb, xdotool and import, Wine and a built mingw preset.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build}"
app=build/mingw/app
exec 3< <(Xvfb -displayfd 1 -screen 0 1400x900x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
export VELTRANO_WINEPREFIX="$PWD/build/wine-prefix-x11" VELTRANO_WINE_GRAPHICS=x11
# A wineserver keeps the display it started with: end any earlier one.
WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true
scripts/wine-prefix.sh "$VELTRANO_WINEPREFIX"
trap 'WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
mkdir -p "$out"
for shot in design rating; do
  scripts/wine-run "$app/veltrano.exe" --design &
  program=$!
  scripts/wine-run "$app/window_driver.exe" show "workbench-$shot"
  # The pointer away from the window, so that no tooltip covers it.
  xdotool mousemove 1390 890
  sleep 1
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^设计 — Veltrano$' | head -n1)
  import -window "$window" "$out/workbench-windows-$shot.png"
  # Ended with the prefix's other processes: a key sent through X to end it
  # would leave Wine's keyboard state behind for the next program.
  WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true
  wait "$program" || true
done
echo "$out/workbench-windows-design.png $out/workbench-windows-rating.png"
