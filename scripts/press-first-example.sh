#!/usr/bin/env bash
# Types the first worked example into the Qt window WINDOW (an X window id,
# on $DISPLAY) as a user would, then clicks the button: used by
# scripts/screenshot.sh and scripts/package-test.sh.
set -euo pipefail
window="$1"
xdotool windowfocus --sync "$window"
sleep 0.3
# Focus starts in Text1; Tab then visits Text2, Text3, Text4, Text5, Text6,
# the button and Text7.
xdotool type --delay 20 '100'
for text in 0.95 0.05 2 2.5; do
  xdotool key Tab
  xdotool type --delay 20 "$text"
done
xdotool key Tab Tab Tab
xdotool type --delay 20 '0.5'
# The button's centre: twips (1920 + 1095/2, 2760 + 375/2) at 15 twips a pixel.
xdotool mousemove --window "$window" 164 196 click 1
