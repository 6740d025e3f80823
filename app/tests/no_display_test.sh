#!/bin/sh
# With no X or Wayland display the window program says so in one line that
# names the command-line program, and fails with status 2.
program="$1"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 2 ] || { echo "exit status $status, expected 2"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "expected one line"; exit 1; }
printf '%s' "$out" | grep -q 'veltrano-cli' || { echo "does not name veltrano-cli"; exit 1; }

# A display that is named but cannot be reached: the same hint, status 2.
out=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:65000 "$program" 2>&1)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 2 ] || { echo "exit status $status, expected 2"; exit 1; }
printf '%s\n' "$out" | tail -n 1 | grep -q 'veltrano-cli' || { echo "does not name veltrano-cli"; exit 1; }
