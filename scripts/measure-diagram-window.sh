#!/usr/bin/env bash
# The diagram window's speed, as figures (not a test): under a private Xvfb,
# the real main and diagram windows (veltrano-diagram-window-timing): F2 to
# the diagram painted, the first time and after Esc; a press of 计算 to the
# new diagram painted, and the redraw alone (aim: 16 ms), at the opening
# size and at twice it; the scene's share; a repaint of an unchanged window.
#
#   scripts/measure-diagram-window.sh [BUILD_DIR] [RUNS]   (default build/default, 40)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
runs=${2:-40}
tool=$build/app/veltrano-diagram-window-timing
[ -x "$tool" ] || { echo "no $tool: build the default preset first" >&2; exit 1; }

exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1440x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
read -r display <&3
runtime=$(mktemp -d)
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$runtime"' EXIT
echo "on Xvfb (X11, the raster painter):"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" "$tool" "$runs"
