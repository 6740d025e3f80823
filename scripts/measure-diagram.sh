#!/usr/bin/env bash
# What --svg costs, as figures (not a test), on the 30-plate column
# (100 0.5 0.95 0.05 2 1.89) in the release build of the bench preset:
#   1. in process (diagram_timing): the calculation, the McCabe–Thiele SVG and
#      its size; a 281-value reflux sweep and its SVG. Target: a few tens of
#      kilobytes, well under a millisecond beyond the calculation;
#   2. the whole program: RUNS runs (default 200) of veltrano-cli with and
#      without --svg, interleaved, mean milliseconds a run and the difference.
# scripts/measure-diagram.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-200}"
scripts/install-deps.sh test
cmake --preset bench >/dev/null
cmake --build --preset bench -j"${VELTRANO_JOBS:-2}" --target veltrano-cli diagram_timing >/dev/null
cli=build/bench/app/veltrano-cli
column=(100 0.5 0.95 0.05 2 1.89)

echo "in process:"
build/bench/app/diagram_timing

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8
"$cli" --svg "$work/d.svg" "${column[@]}" >/dev/null
echo "the file: $(stat -c %s "$work/d.svg") bytes"
# Interleaved, so that a busy moment weighs on both alike.
python3 - "$cli" "$work/d.svg" "$runs" "${column[@]}" <<'PY'
import subprocess, sys, time
cli, svg, runs, column = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
plain, drawn = [], []
for _ in range(runs):
    for args, times in ((column, plain), (["--svg", svg] + column, drawn)):
        start = time.perf_counter()
        subprocess.run([cli] + args, stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
mean = lambda t: 1000 * sum(t) / len(t)
print("whole program, %d runs each: %.3f ms plain, %.3f ms with --svg, difference %.3f ms"
      % (runs, mean(plain), mean(drawn), mean(drawn) - mean(plain)))
PY
