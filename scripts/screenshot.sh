#!/usr/bin/env bash
# Shows the window under a private Xvfb, types the worked example (F 100,
# xF 0.5, xD 0.95, xW 0.05, R 2, alpha 2.5), presses 计算 and saves the
# screen to a PNG for a person to look at.
#   scripts/screenshot.sh [OUT]            the Linux window: build/default/app/veltrano,
#                                          OUT default build/screenshot.png, and beside
#                                          it OUT-screen.png: the whole screen
#   scripts/screenshot.sh --windows [OUT]  veltrano.exe of build/mingw under Wine (X11
#                                          driver, own prefix build/wine-prefix-x11);
#                                          OUT default build/screenshot-windows.png, and
#                                          beside it OUT-diagram.png: the diagram window
#                                          opened with F2 beside the main window, and
#                                          OUT-error.png: the error box of a press with
#                                          alpha empty, the diagram's note behind it
# Needs Xvfb, xdotool and import; for --windows Wine and a built mingw preset.
set -euo pipefail
cd "$(dirname "$0")/.."
windows=false
if [ "${1:-}" = "--windows" ]; then
  windows=true
  shift
fi

# Room for the main window and the diagram window side by side on Windows.
screen=1024x768
if $windows; then screen=1600x900; fi
exec 3< <(Xvfb -displayfd 1 -screen 0 "${screen}x24" -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display"
unset WAYLAND_DISPLAY

if $windows; then
  out="${1:-build/screenshot-windows.png}"
  app=build/mingw/app
  export VELTRANO_WINEPREFIX="$PWD/build/wine-prefix-x11" VELTRANO_WINE_GRAPHICS=x11
  # A wineserver keeps the display it started with: end any earlier one.
  WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true
  scripts/wine-prefix.sh "$VELTRANO_WINEPREFIX"
  trap 'WINEPREFIX="$VELTRANO_WINEPREFIX" timeout 60 wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
  scripts/wine-run "$app/veltrano.exe" &
  # The driver types and presses through window messages, as the tests do.
  scripts/wine-run "$app/window_driver.exe" show example
  sleep 0.5
  mkdir -p "$(dirname "$out")"
  import -window root "$out"
  scripts/wine-run "$app/window_driver.exe" show diagram
  sleep 0.5
  import -window root "${out%.png}-diagram.png"
  scripts/wine-run "$app/window_driver.exe" show error
  sleep 0.5
  import -window root "${out%.png}-error.png"
  echo "$out ${out%.png}-diagram.png ${out%.png}-error.png"
  exit 0
fi

out="${1:-build/screenshot.png}"
program=./build/default/app/veltrano
"$program" &
app_pid=$!
trap 'kill "$app_pid" "$xvfb_pid" 2>/dev/null || true' EXIT

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Veltrano-' | head -n1)
scripts/press-first-example.sh "$window"
# The button stays greyed while the press hands the profile to Calc: the
# picture is taken once Calc shows it (or, without Calc, after its error).
timeout 90 xdotool search --sync --onlyvisible --name 'LibreOffice Calc|Untitled|无标题' >/dev/null 2>&1 || true
sleep 2
mkdir -p "$(dirname "$out")"
# The whole screen (the press also opens Calc, which may lie on top of the
# window), then the window alone, raised again.
import -window root "${out%.png}-screen.png"
xdotool windowraise "$window"
sleep 0.3
import -window "$window" "$out"
echo "$out ${out%.png}-screen.png"
