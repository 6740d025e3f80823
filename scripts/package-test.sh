#!/usr/bin/env bash
# The Debian package as a user meets it: scripts/package.sh makes it, its
# desktop entry, control fields, files and lintian are checked here, then it
# goes into a minimal Debian 12 (scripts/debian-root.sh) with
# `apt-get install --no-install-recommends`, so without LibreOffice. There:
# veltrano-cli prints the worked example as the build tree's does, its
# --export says 429, the window opens under Xvfb (screenshots in
# build/package-test for a person to look at), an export from the window
# shows 429 and the window goes on; then `apt-get remove` and `purge` leave
# no file of the package behind. Prints the package's size and how many
# packages apt pulls in.
#   VELTRANO_PACKAGE_KEEP=1   keep the root (unmounted) for a look afterwards
# Needs root, the package archive and a few minutes. Called by
# `scripts/test.sh package`.
set -euo pipefail
trap 'echo "package: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

me=package
keep_var=VELTRANO_PACKAGE_KEEP
# shellcheck source=scripts/debian-root.sh
. "$(dirname "$(readlink -f "$0")")/debian-root.sh"
root_namespace "$@"
cd "$(dirname "$(readlink -f "$0")")/.."
started=$(date +%s)
fail() { echo "package: FAILED: $*" >&2; exit 1; }
out="$PWD/build/package-test"
rm -rf "$out"
mkdir -p "$out"

step "scripts/package.sh"
scripts/package.sh >"$out/package.log" 2>&1 || { tail -n 40 "$out/package.log"; fail "scripts/package.sh"; }
deb=$(tail -n 1 "$out/package.log")
name=${deb##*/}
version=$(sed -n 's/^project(veltrano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$name" = "veltrano_${version}_$(dpkg --print-architecture).deb" ] || fail "the package is named $name"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

step "desktop entry, AppStream metadata, control fields, files, lintian"
dpkg-deb -x "$deb" "$out/contents"
# The one hint kept: Education and Science are both main categories, so that
# the entry lands in the Education/Science menu; a menu may show it twice.
desktop-file-validate "$out/contents/usr/share/applications/veltrano.desktop" >"$out/desktop.txt" 2>&1 ||
  { cat "$out/desktop.txt"; fail "desktop-file-validate"; }
cat "$out/desktop.txt"
! grep -Eq ': (error|warning): ' "$out/desktop.txt" || fail "desktop-file-validate warns"

# Software centres list the program from its AppStream component, which must
# launch the desktop entry the package installs. --strict fails on hints too;
# --no-net: the screenshot's address is not fetched.
metainfo=$(ls "$out"/contents/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --strict --no-net "$metainfo" || fail "appstreamcli validate --strict"
launched=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$out/contents/usr/share/applications/$launched" ] || fail "the AppStream component launches '$launched', not in the package"
# Its newest release is this version (each release adds its entry on top).
newest=$(sed -n 's|.*<release version="\([^"]*\)".*|\1|p' "$metainfo" | head -n 1)
[ "$newest" = "$version" ] || fail "the AppStream component's newest release is $newest, the project is $version"
provided=$(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo" | sort | tr '\n' ' ')
shipped=$(ls "$out/contents/usr/bin" | sort | tr '\n' ' ')
[ "$provided" = "$shipped" ] || fail "the AppStream component provides: $provided; the package has: $shipped"

# The licence in the copyright file is the one in LICENSE, word for word
# (its lines indented, its blank lines a '.').
sed -n '/^License: MIT$/,$ s/^ //p' "$out/contents/usr/share/doc/veltrano/copyright" | sed 's/^\.$//' \
  >"$out/copyright-licence.txt"
sed -n '/^Permission is hereby granted/,$p' LICENSE | cmp -s - "$out/copyright-licence.txt" ||
  fail "the licence in the copyright file is not LICENSE's"

# must|must-not, field, extended regular expression
while read -r must field pattern; do
  value=$(dpkg-deb -f "$deb" "$field")
  if grep -Eq -- "$pattern" <<<"$value"; then found="must"; else found="must-not"; fi
  [ "$found" = "$must" ] || fail "$field: '$pattern' $([ "$must" = must ] && echo missing || echo present) in: $value"
done <<'FIELDS'
must Depends (^|, )libqt6widgets6 \(>= [0-9.]+\)
must Depends (^|, )libstdc\+\+6 \(>= [0-9.]+\)
must Depends (^|, )qt6-qpa-plugins(,|$)
must Depends (^|, )fonts-wqy-microhei( |,|$)
must-not Depends libuno|libreoffice
must Recommends (^|, )libreoffice-calc(,|$)
must Recommends (^|, )libuno-cppu3 \(>= [^)]+\)
must Section ^science$
FIELDS

# Every file of the package, and nothing else (such as what dpkg-shlibdeps
# was given while the package was made).
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort >"$out/files.txt"
sort >"$out/files.expected" <<EOF
/usr/bin/veltrano
/usr/bin/veltrano-cli
/usr/lib/$multiarch/veltrano/veltrano-libreoffice.so
/usr/share/applications/veltrano.desktop
/usr/share/doc/veltrano/changelog.gz
/usr/share/doc/veltrano/copyright
/usr/share/icons/hicolor/16x16/apps/veltrano.png
/usr/share/icons/hicolor/24x24/apps/veltrano.png
/usr/share/icons/hicolor/32x32/apps/veltrano.png
/usr/share/icons/hicolor/48x48/apps/veltrano.png
/usr/share/icons/hicolor/scalable/apps/veltrano.svg
/usr/share/lintian/overrides/veltrano
/usr/share/man/man1/veltrano-cli.1.gz
/usr/share/man/man1/veltrano.1.gz
/usr/share/metainfo/org.veltrano.Veltrano.metainfo.xml
EOF
diff "$out/files.expected" "$out/files.txt" || fail "the package's files (expected, then found)"

# Warnings fail as errors do. A tag kept has its reason in the package's
# lintian overrides; shown here with the notes, though lintian then fails.
lintian --display-info --show-overrides "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$out/lintian.txt" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian"

# With LibreOffice, as on this machine, the packaged module loads from where
# the package puts it: the export gets as far as wanting a display.
example=(100 0.5 0.95 0.05 2 2.5)
env -u DISPLAY -u WAYLAND_DISPLAY "$out/contents/usr/bin/veltrano-cli" --export "${example[@]}" \
  >/dev/null 2>"$out/export-here.txt" || true
head -n 1 "$out/export-here.txt"
grep -q '^error 429: .*DISPLAY' "$out/export-here.txt" || fail "the packaged module does not load beside LibreOffice"

root_make 3000
step "apt-get install ./$name in the root"
cp "$deb" "$rootfs/tmp/"
# What apt pulls in: as a user's `apt install` (with the recommended
# LibreOffice Calc), and as installed here, without it.
with_recommends=$(inside apt-get install --simulate "/tmp/$name" | grep -c '^Inst ' || true)
before=$(installed_packages)
# Files of the system: not the mounts, nor apt's and dpkg's own records.
listing() {
  inside find / -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \) -prune \
    -o -print | sort >"$out/$1"
}
listing before.txt
quietly install in_root apt-get install -y --no-install-recommends "/tmp/$name"
after=$(installed_packages)
listing installed.txt
inside dpkg -L veltrano | sort >"$out/dpkg-L.txt"
! inside dpkg -s libreoffice-core >/dev/null 2>&1 || fail "LibreOffice came with the package"

step "veltrano-cli in the root"
env -i build/package/app/veltrano-cli "${example[@]}" >"$out/cli-build.txt"
inside veltrano-cli "${example[@]}" | tee "$out/cli-installed.txt"
cmp "$out/cli-build.txt" "$out/cli-installed.txt" || fail "the installed CLI does not print what the build tree's does"
status=0
inside veltrano-cli --export "${example[@]}" >"$out/export.txt" 2>"$out/export-err.txt" || status=$?
head -n 1 "$out/export-err.txt"
[ "$status" -eq 1 ] || fail "--export without LibreOffice: status $status, expected 1"
cmp -s "$out/cli-build.txt" "$out/export.txt" || fail "--export did not print the results first"
# The module is found in the package's directory and cannot load without
# the office; not finding it would name the module instead.
grep -q '^error 429: .*需要 LibreOffice Calc：LibreOffice 没有安装' "$out/export-err.txt" ||
  fail "--export without LibreOffice does not say 429 and that LibreOffice Calc is needed"

step "veltrano in the root, under Xvfb"
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
app_pid=""
on_cleanup() { kill ${app_pid:+"$app_pid"} "$xvfb_pid" 2>/dev/null || true; }
read -r display <&3
export DISPLAY=":$display"
# The program in the root reaches the server on this machine through its
# abstract socket, which the chroot does not hide.
inside env DISPLAY="$DISPLAY" veltrano 2>"$out/veltrano-stderr.txt" &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Veltrano-' | head -n 1) ||
  fail "no window: $(cat "$out/veltrano-stderr.txt")"
scripts/press-first-example.sh "$window"
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Veltrano$' | head -n 1) ||
  fail "no error box after the export"
sleep 0.5
import -window root "$out/window-429.png"
xdotool windowfocus --sync "$box" key Return
sleep 1
kill -0 "$app_pid" || fail "veltrano ended after the error box"
xdotool search --onlyvisible --name '^Veltrano$' >/dev/null && fail "the error box is still open"
xdotool search --onlyvisible --name '^Veltrano-' >/dev/null || fail "the window went with the error box"
import -window root "$out/window-after.png"
end_processes
wait "$app_pid" 2>/dev/null || true
app_pid=""

step "apt-get remove and purge"
quietly remove in_root apt-get remove -y veltrano
listing removed.txt
quietly purge in_root dpkg --purge veltrano
listing purged.txt
# Nothing but the package's own paths went, nothing came, and no path of the
# package is left; dpkg has forgotten it.
comm -23 "$out/installed.txt" "$out/removed.txt" >"$out/gone.txt"
comm -23 "$out/gone.txt" "$out/dpkg-L.txt" | grep . && fail "apt-get remove took files that are not the package's"
comm -13 "$out/installed.txt" "$out/removed.txt" | grep . && fail "apt-get remove left new files"
cmp -s "$out/removed.txt" "$out/purged.txt" || fail "apt-get purge changed the files"
grep -v -x -F -f "$out/before.txt" "$out/purged.txt" | grep veltrano && fail "files of the package stay"
inside sh -c 'ls /var/lib/dpkg/info/veltrano.* 2>/dev/null' | grep . && fail "dpkg keeps records of the package"
[ "$(inside dpkg-query -W -f='${db:Status-Abbrev}' veltrano 2>/dev/null || true)" != "ii " ] ||
  fail "dpkg still lists the package as installed"
[ "$(wc -l <"$out/gone.txt")" -gt 0 ] || fail "apt-get remove removed nothing"

printf '\npackage: %s: %d bytes, %s KiB installed; %d files\n' "$name" "$(stat -c %s "$deb")" \
  "$(dpkg-deb -f "$deb" Installed-Size)" "$(wc -l <"$out/files.txt")"
printf 'package: apt pulls in %d packages with it (--no-install-recommends) on a minimal %s of %d;' \
  $((after - before - 1)) "$suite" "$before"
printf ' with the recommended ones (LibreOffice Calc) %d\n' $((with_recommends - 1))
printf 'package: removed and purged: %d paths went, none of the package stayed\n' "$(wc -l <"$out/gone.txt")"
printf 'package: screenshots %s/window-429.png and window-after.png; %d s in all\n' \
  "${out#"$PWD"/}" $(($(date +%s) - started))
