#!/usr/bin/env bash
# Shows the window under a private Xvfb, types the worked example (F 100,
# xF 0.5, xD 0.95, xW 0.05, R 2, alpha 2.5), presses 计算 and saves the
# screen to the PNG named by $1 (default build/screenshot.png) for a person
# to look at. Needs a built build/default/app/veltrano, Xvfb, xdotool, import.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshot.png}"
program=./build/default/app/veltrano

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
"$program" &
app_pid=$!
trap 'kill "$app_pid" "$xvfb_pid" 2>/dev/null || true' EXIT

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Veltrano-' | head -n1)
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
sleep 0.5
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "$out"
