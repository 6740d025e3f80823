#!/usr/bin/env bash
# Makes the Debian package: installs what is missing (what building needs,
# dpkg-dev and file), builds the programs with Debian's hardening flags
# (preset package, in build/package) and packs them with CPack. The last
# line printed is the package's path; install it with
#   sudo apt install ./build/package/veltrano_1.0.0_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
cmake --preset package >/dev/null
cmake --build --preset package -j"${VELTRANO_JOBS:-2}"
# A package left from an earlier run must not pass for this one.
rm -f build/package/veltrano_*.deb
cpack --preset deb >build/package/cpack.log 2>&1 || { cat build/package/cpack.log >&2; exit 1; }
ls "$PWD"/build/package/veltrano_*_"$(dpkg --print-architecture)".deb
