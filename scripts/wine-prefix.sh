#!/usr/bin/env bash
# Makes a fresh 64-bit Wine prefix at $1 (about 10 s, no display needed).
set -euo pipefail
prefix="$1"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 300 wineboot -i
timeout 300 wineserver -w
