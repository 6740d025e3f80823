#!/usr/bin/env bash
# The design workbench of the Windows build under Wine, as figures (not a
# test): milliseconds from a keystroke in its reflux field to the window
# repainted with the outcome, median and worst of RUNS keystrokes (default
# 50), for the first worked example and a 100-stage ethanol/water NRTL
# column, under a private Xvfb with Wine's X11 driver (own prefix
# build/wine-prefix-x11). Needs a built mingw preset (target workbench_timing).
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-50}"
app/tests/win32/on_xvfb.sh "$PWD/build/wine-prefix-x11" build/mingw/app/workbench_timing.exe "$runs" | tr -d '\r'
