#!/bin/sh
# Runs a Windows program under Wine's X11 driver on a private Xvfb, in the
# Wine prefix PREFIX (made for the X11 driver by scripts/wine-prefix.sh), and
# exits with its status:
#   on_xvfb.sh PREFIX PROGRAM [ARGUMENT...]
# The screen is large enough for the diagram window at twice its opening
# size beside the main window. A wineserver keeps the display it started
# with: any in the prefix is ended before and after.
set -eu
prefix="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
scripts="$here/../../../scripts"
export VELTRANO_WINEPREFIX="$prefix" VELTRANO_WINE_GRAPHICS=x11
unset WAYLAND_DISPLAY

fifo="$(mktemp -u "${TMPDIR:-/tmp}/on-xvfb.XXXXXX")"
mkfifo -m 600 "$fifo"
Xvfb -displayfd 3 -screen 0 2400x1600x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
read -r display <"$fifo"
rm -f "$fifo"
export DISPLAY=":$display"
end() {
  WINEPREFIX="$prefix" timeout 60 wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap end EXIT
WINEPREFIX="$prefix" timeout 60 wineserver -k 2>/dev/null || true
"$scripts/wine-prefix.sh" "$prefix"
status=0
"$scripts/wine-run" "$@" || status=$?
exit "$status"
