#!/usr/bin/env bash
# Builds the Linux program and opens its window. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target veltrano
exec ./build/default/app/veltrano "$@"
