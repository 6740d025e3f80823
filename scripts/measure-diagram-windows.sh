#!/usr/bin/env bash
# The diagram window of veltrano.exe under Wine, as figures (not a test):
# milliseconds from F2 in the main window to the diagram window painted and
# answering (the first opening, which loads GDI+, and the later ones), and a
# press of the first example with the window open (it redraws) against one
# with it closed, RUNS programs (default 5) of three openings and twelve
# presses each, under a private Xvfb with Wine's X11 driver (own prefix
# build/wine-prefix-x11). Needs a built mingw preset.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
app/tests/win32/on_xvfb.sh "$PWD/build/wine-prefix-x11" build/mingw/app/window_driver.exe time-diagram "$runs" |
  tr -d '\r'
