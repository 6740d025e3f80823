#!/bin/sh
# The programs start and compute without LibreOffice: veltrano-cli copied
# away from the LibreOffice module still computes, and only --export is
# error 429, saying that LibreOffice Calc is needed. With the module beside
# it, the export reaches the module (here: no display to show Calc on). No
# program of ours links the office's libraries, and the command's unit tests
# link neither the office nor Qt.
#   without_office_test.sh VELTRANO_CLI WINDOW_TESTS APP_TESTS [VELTRANO]
cli=$1 command_tests=$2 app_tests=$3 gui=$4
fail() { echo "FAIL: $*"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
example="100 0.5 0.95 0.05 2 2.5"

cp "$cli" "$tmp/veltrano-cli"
# shellcheck disable=SC2086
"$tmp/veltrano-cli" $example >"$tmp/out" 2>"$tmp/err" || fail "no result without the module: $(cat "$tmp/err")"
grep -q "^塔板数	11$" "$tmp/out" || fail "wrong result without the module"
# shellcheck disable=SC2086
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/veltrano-cli" --export $example >"$tmp/out" 2>"$tmp/err"
status=$?
head -n 1 "$tmp/err"
[ "$status" -eq 1 ] || fail "--export without the module: status $status"
head -n 1 "$tmp/err" | grep -q "^error 429: .*需要 LibreOffice Calc" || fail "429 does not say LibreOffice Calc is needed"
grep -q "^塔板数	11$" "$tmp/out" || fail "the results are not out before the export"

if [ -n "$gui" ]; then
  # shellcheck disable=SC2086
  # The office starts on a profile of the test's own, finds that it has no
  # display to show Calc on, and is ended.
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
    "$cli" --export $example >"$tmp/out" 2>"$tmp/err"
  status=$?
  head -n 1 "$tmp/err"
  [ "$status" -eq 1 ] || fail "--export without a display: status $status"
  head -n 1 "$tmp/err" | grep -q "^error 429: " || fail "--export without a display is not 429"
  head -n 1 "$tmp/err" | grep -q "需要 LibreOffice Calc" && fail "the module beside the program was not loaded"
fi

for program in "$cli" $gui; do
  readelf -d "$program" | grep NEEDED | grep -Eq "libuno|libreoffice" && fail "$program links the office"
done
for unit_tests in "$command_tests" "$app_tests"; do
  readelf -d "$unit_tests" | grep NEEDED | grep -Eq "libuno|libreoffice|libQt" && fail "$unit_tests links the office or Qt"
done
echo "computes without the office; only the export needs it"
