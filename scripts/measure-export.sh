#!/usr/bin/env bash
# The export's cost over simply opening Calc: the press of the first example
# up to its last cell written, beside starting the office and opening an
# empty visible Calc document, median of 5 runs each, alternating, with the
# office killed between runs. Target: ratio <= 1.15.
# Then what a user waits for in the real window (veltrano-press-timing): a
# first press, which starts the office, and a second, which finds it
# running; for each, the click to the result fields painted and the click to
# the last cell written, median of 5.
#
#   scripts/measure-export.sh [BUILD_DIR]     (default build/default)
#
# With DISPLAY set (e.g. under Xvfb) the office shows its window, as for a
# user; without it the first part runs headless, and the window's part gets
# an Xvfb of its own.
set -euo pipefail
build=${1:-build/default}
tool=$build/app/veltrano-export-timing
press_tool=$build/app/veltrano-press-timing
for t in "$tool" "$press_tool"; do
  [ -x "$t" ] || { echo "no $t: build first" >&2; exit 1; }
done
profile=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-timing-XXXXXX")
trap 'rm -rf "$profile"' EXIT

group_alive() {
  # Zombies do not count: they have let go of the profile.
  ps -e -o pgid= -o stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

# One timed run; prints its milliseconds and kills its office (SIGKILL, or
# the signal given as $2).
run() {
  local out ms group
  out=$("$tool" "$1" "$profile/user")
  ms=${out% *}
  group=${out#* }
  [ -z "${2:-}" ] || sleep 5
  kill "-${2:-KILL}" -- "-$group" 2>/dev/null || true
  while group_alive "$group"; do sleep 0.05; done
  echo "$ms"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The first start builds the profile (over a second). Not counted; it is let
# settle and ended with SIGTERM so the office writes the profile out, else
# every killed start would build it again.
run empty TERM >/dev/null
full=() empty=()
for _ in 1 2 3 4 5; do
  full+=("$(run full)")
  empty+=("$(run empty)")
done
f=$(median "${full[@]}")
e=$(median "${empty[@]}")
echo "press to last cell (ms):           ${full[*]}"
echo "start office, empty document (ms): ${empty[*]}"
awk -v f="$f" -v e="$e" 'BEGIN {
  printf "median press to last cell:      %.1f ms\n", f
  printf "median start + empty document:  %.1f ms\n", e
  printf "ratio:                          %.3f (target <= 1.15)\n", f / e
}'

# The window's press, on a display.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
  xvfb_pid=$!
  read -r display <&3
  export DISPLAY=":$display"
fi
trap 'rm -rf "$profile"; [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true' EXIT
painted1=() cell1=() painted2=() cell2=()
for _ in 1 2 3 4 5; do
  out=$("$press_tool" "$profile/user" 2>/dev/null)
  group=$(awk '/^office group/ { print $3 }' <<<"$out")
  painted1+=("$(awk '/^press 1:/ { print $4 }' <<<"$out")")
  cell1+=("$(awk '/^press 1:/ { print $8 }' <<<"$out")")
  painted2+=("$(awk '/^press 2:/ { print $4 }' <<<"$out")")
  cell2+=("$(awk '/^press 2:/ { print $8 }' <<<"$out")")
  kill -KILL -- "-$group" 2>/dev/null || true
  while group_alive "$group"; do sleep 0.05; done
done
echo "window, first press:  click to fields painted (ms): ${painted1[*]}; to last cell (ms): ${cell1[*]}"
echo "window, second press: click to fields painted (ms): ${painted2[*]}; to last cell (ms): ${cell2[*]}"
printf 'median first press:  painted %s ms, last cell %s ms\n' "$(median "${painted1[@]}")" "$(median "${cell1[@]}")"
printf 'median second press: painted %s ms, last cell %s ms\n' "$(median "${painted2[@]}")" "$(median "${cell2[@]}")"
