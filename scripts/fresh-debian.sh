#!/usr/bin/env bash
# The README's two commands as a new user meets them on a minimal Debian 12:
# `debootstrap --variant=minbase bookworm` into a temporary folder, apt set up
# as on this machine, git and ca-certificates added, a fresh clone of the
# current commit, then inside a chroot `scripts/run.sh` (no display: it must
# say so and exit 2 after the CLI's example) and `scripts/test.sh` (every
# default stage). Prints how many packages each of the two installed.
#
# Needs root (debootstrap, mount, chroot), the network to the package archive
# and time: the test stages build everything again from nothing. The
# debootstrap tarball is kept in ${XDG_CACHE_HOME:-~/.cache}/veltrano and made
# again when older than 30 days. Only committed work is tested.
#   VELTRANO_FRESH_KEEP=1   keep the root (unmounted) for a look afterwards
#   VELTRANO_JOBS, VELTRANO_FUZZ_SECONDS   passed on to the commands
# Called by `scripts/test.sh fresh`.
set -euo pipefail
trap 'echo "fresh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh: needs root (debootstrap, mount and chroot)" >&2
  exit 2
fi
self=$(readlink -f "$0")
# The mounts live in a mount namespace of their own: they never appear in,
# or propagate to, this machine's /dev and /tmp, and the kernel drops them
# with the namespace's last process even if this script is killed.
if [ -z "${VELTRANO_FRESH_NAMESPACE:-}" ]; then
  exec env VELTRANO_FRESH_NAMESPACE=1 unshare --mount --propagation private -- "$self" "$@"
fi

src=$(dirname "$(dirname "$self")")
cd "$src"
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "fresh: uncommitted changes are left out; the root gets a clone of $commit" >&2
fi
suite=bookworm
arch=$(dpkg --print-architecture)
mirror=$(apt-get indextargets --format '$(TARGET_OF) $(RELEASE) $(REPO_URI)' |
  awk -v s="$suite" '$1 == "deb" && $2 == s { print $3; exit }')
if [ -z "$mirror" ]; then
  echo "fresh: this machine's apt sources have no $suite archive to build the root from" >&2
  exit 2
fi
cache="${XDG_CACHE_HOME:-$HOME/.cache}/veltrano"
tarball="$cache/debootstrap-$suite-minbase-$arch.tgz"
started=$(date +%s)

work=$(mktemp -d "${TMPDIR:-/var/tmp}/veltrano-fresh.XXXXXX")
work=$(readlink -f "$work")
rootfs="$work/root"
mkdir "$rootfs"
# The root ends near 5 GB: packages, every build tree and a Wine prefix.
free_mb=$(df -Pm "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_mb" -lt 6000 ]; then
  echo "fresh: $free_mb MB free under ${work%/*}, the root needs about 5 GB (set TMPDIR elsewhere)" >&2
  rmdir "$rootfs" "$work"
  exit 2
fi

step() { printf -- '---- fresh: %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }

# Runs a step with its output in a log, shown only when it fails.
quietly() {
  local log="$work/$1.log"
  shift
  "$@" >"$log" 2>&1 || { local s=$?; tail -n 40 "$log" >&2; return "$s"; }
}

mounts_in_root() {
  awk -v r="$rootfs" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts
}

processes_in_root() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$rootfs" ] && echo "${p#/proc/}"
  done
  return 0
}

# What the commands left running in the root (an office, a wineserver) would
# keep its mounts busy.
end_processes() {
  local pids i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    mapfile -t pids < <(processes_in_root)
    [ ${#pids[@]} -gt 0 ] || return 0
    if [ "$i" -lt 8 ]; then kill "${pids[@]}"; else kill -KILL "${pids[@]}"; fi 2>/dev/null
    sleep 0.5
  done
}

cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM ERR
  end_processes
  local m
  while read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m"
  done < <(mounts_in_root | tac)
  if [ -n "$(mounts_in_root)" ]; then
    echo "fresh: still mounted, so $work stays:" >&2
    mounts_in_root >&2
  elif [ "${VELTRANO_FRESH_KEEP:-}" = 1 ]; then
    echo "fresh: the root stays in $rootfs"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A command inside the root, with the environment of a fresh login.
inside() {
  local pass=(HOME=/root TERM="${TERM:-dumb}" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    DEBIAN_FRONTEND=noninteractive)
  local v
  for v in VELTRANO_JOBS VELTRANO_FUZZ_SECONDS http_proxy https_proxy no_proxy; do
    [ -z "${!v:-}" ] || pass+=("$v=${!v}")
  done
  env -i "${pass[@]}" chroot "$rootfs" "$@"
}

# The long commands in the root run in the background while this script
# waits: bash runs no trap while a foreground child that outlives an
# interrupt (apt does) is still running, but a wait returns at once and the
# cleanup ends whatever runs in the root.
in_root() {
  inside "$@" &
  wait $!
}

installed_packages() {
  inside dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii'
}

mkdir -p "$cache"
if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
  step "debootstrap tarball of $suite (minbase, $arch) into $cache"
  quietly make-tarball debootstrap --variant=minbase --make-tarball="$tarball.part" \
    "$suite" "$work/tarball" "$mirror"
  mv "$tarball.part" "$tarball"
  rm -rf "$work/tarball"
fi

step "minimal $suite in $rootfs"
quietly debootstrap debootstrap --variant=minbase --unpack-tarball="$tarball" "$suite" "$rootfs" "$mirror"
mount -t proc proc "$rootfs/proc"
mount -t sysfs sysfs "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$rootfs/dev/shm"
mount -t tmpfs -o mode=1777,nosuid,nodev tmp "$rootfs/tmp"

# The archive and apt's settings as on this machine (its sources replace the
# one debootstrap wrote), with the keyrings they name outside /etc/apt.
rm -rf "$rootfs/etc/apt/sources.list" "$rootfs/etc/apt/sources.list.d"
cp -a /etc/apt/. "$rootfs/etc/apt/"
{ grep -rhoiE 'signed-by(=|:)[[:space:]]*/[^][:space:]]+' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null || true; } |
  sed -E 's/^[^/]*//' | sort -u | while read -r key; do
  if [ -f "$key" ] && [ ! -e "$rootfs$key" ]; then
    mkdir -p "$rootfs$(dirname "$key")"
    cp "$key" "$rootfs$key"
  fi
done
cp -L /etc/resolv.conf "$rootfs/etc/resolv.conf"
# Package scripts must not start daemons in the root: they would outlive the
# commands and keep its mounts busy.
printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
chmod 755 "$rootfs/usr/sbin/policy-rc.d"

step "git and ca-certificates"
quietly apt-update in_root apt-get update
quietly apt-git in_root apt-get install -y --no-install-recommends git ca-certificates
base=$(installed_packages)

step "fresh clone of $commit"
git clone --quiet --no-local --no-checkout "$src" "$rootfs/root/veltrano"
git -C "$rootfs/root/veltrano" checkout --quiet --detach "$commit"

# What run.sh will install, counted on the bare root before anything else
# goes in.
run_would=$(inside apt-get install --simulate --no-install-recommends \
  $(scripts/install-deps.sh --list run) | grep -c '^Inst ' || true)

step "the CLI alone: no Qt, no LibreOffice (VELTRANO_GUI=OFF)"
cli_packages=(g++ cmake make libgtest-dev python3 locales)
quietly apt-cli in_root apt-get install -y --no-install-recommends "${cli_packages[@]}"
after_cli=$(installed_packages)
status=0
in_root /bin/bash -c 'cd /root/veltrano &&
  cmake -S . -B build/cli -DVELTRANO_GUI=OFF -DVELTRANO_WERROR=ON >/dev/null &&
  cmake --build build/cli -j"${VELTRANO_JOBS:-2}" >/dev/null && ctest --test-dir build/cli 2>&1 | tail -n 3 &&
  ! dpkg -s libqt6core6 >/dev/null 2>&1 && ! dpkg -s libreoffice-core >/dev/null 2>&1' || status=$?
if [ "$status" -ne 0 ]; then
  echo "fresh: the CLI alone did not build and pass its tests without Qt and LibreOffice" >&2
  exit 1
fi

step "scripts/run.sh without a display"
status=0
in_root /bin/bash -c 'cd /root/veltrano && scripts/run.sh 2>&1 | tee /tmp/run.log; exit ${PIPESTATUS[0]}' || status=$?
cp "$rootfs/tmp/run.log" "$work/run.log"
after_run=$(installed_packages)
# The program's one line, the example's command line, then the CLI's five.
tail -n 7 "$work/run.log" >"$work/run.tail"
if [ "$status" -ne 2 ]; then
  echo "fresh: scripts/run.sh exited with $status, expected 2 (no display)" >&2
  exit 1
fi
if ! head -n 1 "$work/run.tail" | grep -q '^veltrano: .*veltrano-cli' ||
  ! sed -n 4p "$work/run.tail" | grep -q "^塔板数$(printf '\t')11\$"; then
  echo "fresh: scripts/run.sh did not end with the no-display line and the CLI's example" >&2
  exit 1
fi

step "scripts/test.sh"
status=0
in_root /bin/bash -c 'cd /root/veltrano && scripts/test.sh' || status=$?
if [ "$status" -ne 0 ]; then
  echo "fresh: scripts/test.sh failed in the root with status $status (its last stage above)" >&2
  exit 1
fi
after_test=$(installed_packages)

used=$(du -sxm "$rootfs" | cut -f1)
printf '\nfresh: minimal %s with git: %d packages; scripts/run.sh installs %d on it (apt simulation)\n' \
  "$suite" "$base" "$run_would"
printf 'fresh: the CLI alone took %d packages and passed its tests;' $((after_cli - base))
printf ' scripts/run.sh then installed %d more and exited 2;' $((after_run - after_cli))
printf ' scripts/test.sh installed %d more and passed\n' $((after_test - after_run))
printf 'fresh: %d MB in the root, %d s in all\n' "$used" $(($(date +%s) - started))
