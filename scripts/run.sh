#!/usr/bin/env bash
# Installs what is missing, builds the Linux program and opens its window.
# Arguments go to the program. Without a display the program says so in one
# line and points to veltrano-cli, which this script then runs on the first
# worked example so there is still something to see.
# Only what building and running needs is installed, and the build (preset
# run, build/run) leaves the tests out; scripts/test.sh adds the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run -j2 --target veltrano veltrano-cli
status=0
./build/run/app/veltrano "$@" || status=$?
if [ "$status" -eq 2 ]; then
  echo "veltrano-cli 100 0.5 0.95 0.05 2 2.5:"
  ./build/run/app/veltrano-cli 100 0.5 0.95 0.05 2 2.5
fi
exit "$status"
