#!/usr/bin/env bash
# The Windows export's own cost, as figures (not a test): microseconds per
# cell write of a 30-plate column (93 writes) through the recording stand-in
# for Excel, in process and in a server process of its own (the way Excel is
# reached), RUNS times each (default 20), under Wine in the project's prefix.
# Excel's start, which dominates a real export, cannot be measured here: there
# is no Excel on these machines. Needs a built mingw preset.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# A file, not a pipe: Wine's helper processes would hold a pipe open.
scripts/wine-run build/mingw/app/window_driver.exe time-export "${1:-20}" >"$out"
tr -d '\r' <"$out"
