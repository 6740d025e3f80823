#!/bin/sh
# The installed programs against their manual page: `cmake --install` of the
# build tree into a temporary root; there the CLI must find the LibreOffice
# module where the installation put it, and what veltrano-cli(1) documents
# (synopsis, exit statuses, error numbers) must be what the program does.
#   installed_test.sh BUILD_DIR SOURCE_DIR
build=$1 src=$2
fail() { echo "FAIL: $*"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
DESTDIR="$tmp" cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "install"; }
cli="$tmp/usr/bin/veltrano-cli"
man="$src/packaging/veltrano-cli.1"

# No display: the module loads (the office is installed where the programs
# are built) and only then is the export refused for want of a display: the
# office, started on a profile of the test's own, finds it has none and is
# ended. Not finding the module would say that LibreOffice Calc is needed.
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  "$cli" --export 100 0.5 0.95 0.05 2 2.5 >/dev/null 2>"$tmp/err"
status=$?
head -n 1 "$tmp/err"
[ "$status" -eq 1 ] || fail "--export from the installed tree: status $status"
grep -q "^error 429: " "$tmp/err" || fail "--export from the installed tree is not 429"
grep -q "需要 LibreOffice Calc" "$tmp/err" && fail "the installed CLI did not find its module"

# Each documented exit status, produced by one command line.
documented=$(awk '/^\.SH EXIT STATUS/ { on = 1; next } /^\.SH/ { on = 0 } on && prev == ".TP" { print $2 } { prev = $0 }' "$man" | sort | tr '\n' ' ')
[ "$documented" = "0 1 2 " ] || fail "exit statuses in the manual page: $documented"
while IFS='|' read -r expected args; do
  # shellcheck disable=SC2086
  eval "set -- $args"
  "$cli" "$@" >/dev/null 2>&1
  status=$?
  [ "$status" -eq "$expected" ] || fail "veltrano-cli $args: status $status, documented $expected"
done <<'CASES'
0|100 0.5 0.95 0.05 2 2.5
0|--help
1|100 0.5 0.95 0.05 2 ""
2|100 0.5 0.95 0.05 2
CASES

# Every error number the program has is documented: each layer declares its
# own (ErrorKind kName{number, text}).
numbers=$(find "$src" -path "$src/build" -prune -o -name '*.h' -path '*/include/veltrano/*' -print |
  xargs sed -n 's/.*constexpr [a-z:]*ErrorKind k[A-Za-z]*{\([0-9][0-9]*\),.*/\1/p' | sort -n)
[ "$(echo $numbers)" = "5 6 9 11 13 429" ] || fail "error numbers declared: $(echo $numbers)"
for number in $numbers; do
  grep -q "^\.B $number\$" "$man" || fail "error $number is not in the manual page"
done

# The help in the user's language: the English one outside a Chinese locale.
for lang in en_US.UTF-8 zh_CN.UTF-8 C.UTF-8; do
  first=$(env -u LC_ALL -u LC_MESSAGES LANG=$lang "$cli" --help | head -n 1)
  case "$lang:$first" in
    zh_CN.UTF-8:"用法: veltrano-cli "* | en_US.UTF-8:"Usage: veltrano-cli "* | C.UTF-8:"Usage: veltrano-cli "*) ;;
    *) fail "--help under LANG=$lang begins '$first'" ;;
  esac
done
# The synopsis (in English, as the manual page) is the usage line of --help.
usage=$(LC_ALL=C.UTF-8 "$cli" --help | head -n 1 | sed 's/^[^:]*: //')
synopsis=$(awk '/^\.SH SYNOPSIS/ { on = 1; next } /^\.br/ { exit }
  on { m = $1; $1 = ""; sub(/^ /, ""); if (m == ".RB" || m == ".BR" || m == ".IR" || m == ".RI") gsub(/ /, ""); print }' "$man" |
  sed 's/\\-/-/g' | tr '\n' ' ' | sed 's/ $//')
[ "$synopsis" = "$usage" ] || fail "synopsis '$synopsis' is not the usage '$usage'"
echo "installed: the module is found, the manual page says what the CLI does"
