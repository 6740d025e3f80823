#!/usr/bin/env bash
# Start-up of veltrano.exe under Wine, as figures (not a test): milliseconds
# from CreateProcess to a visible top-level window, and to that window painted
# and answering (its thread back in its message loop), against a minimal Win32
# window program (one static text) started the same way by the same timer,
# bare and with veltrano.exe's manifest (common controls 6, per-monitor DPI),
# RUNS each (default 15), interleaved, under a private Xvfb with Wine's X11
# driver (own prefix build/wine-prefix-x11). Target: ratio <= 1.3.
# Then the size of veltrano.exe stripped (a static Win32 program of this
# kind: well under 3 MB). Needs a built mingw preset.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-15}"
app=build/mingw/app

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display"
export VELTRANO_WINEPREFIX="$PWD/build/wine-prefix-x11" VELTRANO_WINE_GRAPHICS=x11
# A wineserver keeps the display it started with: end any earlier one.
WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true
trap 'WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
scripts/wine-prefix.sh "$VELTRANO_WINEPREFIX"

echo "start to a shown window under Wine (X11 driver on Xvfb):"
scripts/wine-run "$app/startup_timing.exe" "$runs" | tr -d '\r'

stripped=$(mktemp)
x86_64-w64-mingw32-strip -o "$stripped" "$app/veltrano.exe"
awk -v s="$(stat -c %s "$stripped")" -v b="$(stat -c %s "$app/veltrano.exe")" \
  'BEGIN { printf "veltrano.exe stripped: %d bytes (%.2f MB); as built, with symbols: %d bytes\n", s, s / 1048576, b }'
rm -f "$stripped"
