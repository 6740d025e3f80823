#!/usr/bin/env bash
# The export under load, as figures (not a test), under a private Xvfb and a
# HOME of its own (so a LibreOffice profile of its own, started fresh):
#   1. ROUNDS rounds of two `veltrano-cli --export` started together, the
#      first round against no running office;
#   2. IN_A_ROW exports one after the other;
# then what is left behind: our pipe sockets in /tmp, "URP Acceptor"
# threads in the office, processes besides the office.
#
#   scripts/soak-export.sh [BUILD_DIR [ROUNDS [IN_A_ROW]]]   (build/default 20 40)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
rounds=${2:-20}
in_a_row=${3:-40}
cli=$(readlink -f "$build/app/veltrano-cli")
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
example=(100 0.5 0.95 0.05 2 2.5)

home=$(mktemp -d "${TMPDIR:-/tmp}/veltrano-soak-XXXXXX")
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
export DISPLAY=":$display" HOME="$home" XDG_RUNTIME_DIR="$home/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
office_pids() { pgrep -u "$(id -u)" -f "soffice.bin" | while read -r p; do
  [ "$(tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -c "^HOME=$home$")" = 1 ] && echo "$p"; done; }
cleanup() {
  local p
  for p in $(office_pids); do kill -KILL "$p" 2>/dev/null || true; done
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
sockets() { find /tmp -maxdepth 1 -name "OSL_PIPE_$(id -u)_veltrano_*" 2>/dev/null | wc -l; }
sockets_before=$(sockets)

# One export; prints "<status> <ms> <first line of stderr>".
export_once() {
  local start err status
  err=$(mktemp)
  start=$(date +%s%N)
  status=0
  "$cli" --export "${example[@]}" >/dev/null 2>"$err" || status=$?
  echo "$status $(( ($(date +%s%N) - start) / 1000000 )) $(head -n 1 "$err")"
  rm -f "$err"
}

results=$(mktemp)
for _ in $(seq "$rounds"); do
  export_once >>"$results" &
  first=$!
  export_once >>"$results" &
  wait "$first" "$!"  # not a bare wait: Xvfb is a child of ours too
done
together_failed=$(awk '$1 != 0' "$results" | wc -l)
together_ms=$(awk '{ print $2 }' "$results" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] " (max " v[NR] ")" }')
awk '$1 != 0 { $2 = ""; print "  failed:", $0 }' "$results" | sort | uniq -c | head -n 5
: >"$results"
for _ in $(seq "$in_a_row"); do export_once >>"$results"; done
row_failed=$(awk '$1 != 0' "$results" | wc -l)
row_ms=$(awk '{ print $2 }' "$results" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] " (max " v[NR] ")" }')
awk '$1 != 0 { $2 = ""; print "  failed:", $0 }' "$results" | sort | uniq -c | head -n 5
rm -f "$results"
sleep 1  # the last --unaccept reaches the office

offices=$(office_pids | wc -l || true)
acceptors=0
for p in $(office_pids); do
  acceptors=$((acceptors + $(cat /proc/"$p"/task/*/comm 2>/dev/null | grep -c "^URP Acceptor$" || true)))
done
# Ours would be a launcher still handing over our --unaccept, or a CLI or
# its watcher still waiting. The office keeps its own oosplash.
others=$(pgrep -u "$(id -u)" -f -- "--unaccept=|veltrano-cli" | wc -l || true)
oosplash=$(pgrep -u "$(id -u)" -x oosplash | wc -l || true)
echo "$rounds rounds of two exports at once: $together_failed of $((2 * rounds)) failed; median ms $together_ms"
echo "$in_a_row exports in a row: $row_failed failed; median ms $row_ms"
echo "left behind: $(( $(sockets) - sockets_before )) sockets of ours in /tmp, $acceptors URP Acceptor threads in $offices office(s), $others launchers or CLIs of ours ($oosplash oosplash of the office)"
