#!/usr/bin/env bash
# The real program's diagram window under a private Xvfb, driven as a user
# drives it: the first example typed and 计算 pressed, F2, screenshots of the
# diagram window checked against the first example's table of pixels at the
# opening size and at twice it, an error press (alpha emptied: error 13)
# that keeps the picture under its note, Save As through the window's own
# dialog compared byte for byte with veltrano-cli --svg, and closing the
# main window with the diagram open: the program ends with status 0.
#
# The program runs copied away from the LibreOffice module, so each press
# computes, writes its fields and draws, and then its hand-over ends in
# error 429: no office is started, none is left running, no Calc window
# covers ours, and the press ends the same way on every machine. (With the
# module, the office would start on the user's own profile and take from
# a fraction of a second to many; the hand-over has its own tests.)
#
#   diagram_window_xvfb.sh VELTRANO VELTRANO_CLI CHECK_TOOL [OUT_DIR]
# OUT_DIR keeps the screenshots (default: a temporary folder, removed).
set -euo pipefail
program=$1 cli=$2 check=$3 out=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
scripts="$here/../../scripts"

tmp=$(mktemp -d)
app_pid="" xvfb_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  if [ -s "$tmp/stderr.txt" ]; then
    echo "the program's stderr, last lines:" >&2
    tail -n 60 "$tmp/stderr.txt" >&2
  fi
  exit 1
}
[ -n "$out" ] || out="$tmp/shots"
mkdir -p "$out" "$tmp/home" "$tmp/runtime"
chmod 700 "$tmp/runtime"

# A screen with room for the main window and the diagram at twice its
# opening size beside it (1120 × 1320).
exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1440x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3 || fail "Xvfb did not start"
export DISPLAY=":$display"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_RUNTIME_DIR="$tmp/runtime" LANG=C.UTF-8 LC_ALL=

# Waits for a visible window whose name matches, prints its id.
window_named() {
  timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}
# Answers the error box of a press (title Veltrano), after checking it says
# error $1.
answer_error_box() {
  local box
  box=$(window_named '^Veltrano$') || fail "no error box for error $1"
  import -window "$box" "$out/box-$1.png"
  xdotool windowfocus --sync "$box"
  xdotool key Return
  sleep 0.3
}
shot() {
  sleep 0.5
  import -window "$diagram" "$out/$1.png"
}

cp "$program" "$tmp/veltrano"
"$tmp/veltrano" 2>"$tmp/stderr.txt" &
app_pid=$!
main=$(window_named '^Veltrano-') || fail "the main window did not show"

"$scripts/press-first-example.sh" "$main"
answer_error_box 429
# The background's menu, for a person to look at, then F2.
xdotool windowfocus --sync "$main"
xdotool mousemove --window "$main" 250 60 click 3
sleep 0.4
import -window root -crop 760x400+0+0 "$out/menu-main.png"
xdotool key Escape
sleep 0.2
xdotool key F2
diagram=$(window_named '^塔板图 — Veltrano$') || fail "F2 opened no diagram window"
geometry=$(xdotool getwindowgeometry "$diagram" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "560x660" ] || fail "the diagram window opened at $geometry, not 560x660"

shot opening
xdotool mousemove --window "$diagram" 200 300 click 3
sleep 0.4
import -window root -crop 1200x700+0+0 "$out/menu-diagram.png"
xdotool key Escape
echo "at the opening size, after the first example's press (429 after its calculation):"
"$check" "$out/opening.png" --failed-after 429 || fail "pixels at the opening size"

xdotool windowsize --sync "$diagram" 1120 1320
shot twice
echo "at twice the opening size:"
"$check" "$out/twice.png" --failed-after 429 || fail "pixels at twice the size"

# alpha emptied (Text5 at twips 1680, 1920; 1095 × 375): error 13 before
# the calculation; the picture stays under the note.
xdotool windowfocus --sync "$main"
xdotool mousemove --window "$main" 148 140 click 1
xdotool key ctrl+a BackSpace
xdotool mousemove --window "$main" 164 196 click 1
answer_error_box 13
shot error-13
echo "after a press with alpha empty (13):"
"$check" "$out/error-13.png" --failed-after 429 --then-failed 13 || fail "the picture did not stay after error 13"

# Save As from the diagram window's keys: the file the CLI writes.
xdotool windowfocus --sync "$diagram"
xdotool key ctrl+s
dialog=$(window_named '^另存为$') || fail "Ctrl+S opened no save dialog"
xdotool windowfocus --sync "$dialog"
sleep 0.3
import -window "$dialog" "$out/save-dialog.png"
xdotool key ctrl+a
xdotool type --delay 10 "$tmp/saved.svg"
xdotool key Return
for _ in $(seq 50); do [ -s "$tmp/saved.svg" ] && break; sleep 0.1; done
"$cli" --svg "$tmp/cli.svg" 100 0.5 0.95 0.05 2 2.5 >/dev/null
cmp "$tmp/saved.svg" "$tmp/cli.svg" || fail "the SVG saved through the window differs from veltrano-cli --svg"
echo "the SVG saved through the window is veltrano-cli's, byte for byte ($(stat -c %s "$tmp/saved.svg") bytes)"

# Closing the main window (as a window manager's close button asks) ends
# the program with the diagram window open.
python3 "$here/x11_close_window.py" "$main"
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program goes on after its main window closed"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "closing the main window with the diagram open ends the program with status 0"
echo "screenshots in $out"
