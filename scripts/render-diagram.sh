#!/usr/bin/env bash
# The README's picture: the first worked example's McCabe–Thiele diagram,
# written by veltrano-cli --svg and rendered to PNG with librsvg.
#   scripts/render-diagram.sh [OUT.png]     (default docs/first-example-diagram.png)
# Builds (or brings up to date) the command line alone in build/cli.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/first-example-diagram.png}"
command -v rsvg-convert >/dev/null || scripts/install-deps.sh test
[ -f build/cli/CMakeCache.txt ] || cmake -S . -B build/cli -DVELTRANO_GUI=OFF -DVELTRANO_TESTS=OFF >/dev/null
cmake --build build/cli -j"${VELTRANO_JOBS:-2}" --target veltrano-cli >/dev/null
svg=$(mktemp --suffix=.svg)
trap 'rm -f "$svg"' EXIT
LC_ALL=C.UTF-8 build/cli/app/veltrano-cli --svg "$svg" 100 0.5 0.95 0.05 2 2.5 >/dev/null
mkdir -p "$(dirname "$out")"
# One and a half times the drawing's own 720 px: sharp on a high-density screen.
rsvg-convert --width 1080 --background-color white "$svg" -o "$out"
echo "$out: $(stat -c %s "$out") bytes"
