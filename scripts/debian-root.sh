# shellcheck shell=bash disable=SC2154  # me and keep_var come from the caller
# A minimal Debian 12 in a temporary folder, for the stages that check what
# a new user meets: `debootstrap --variant=minbase bookworm`, apt set up as
# on this machine, proc, sys, dev and a private tmp mounted, and helpers to
# run commands in it with chroot. Sourced by scripts/fresh-debian.sh and
# scripts/package-test.sh, which set before sourcing:
#   me         the name their messages start with
#   keep_var   the variable that keeps the root for a look afterwards
# and then call, in this order:
#   root_namespace "$@"   (runs the calling script again in a mount namespace)
#   root_make MB          (the root in $rootfs, with MB megabytes free for it)
# The debootstrap tarball is kept in ${XDG_CACHE_HOME:-~/.cache}/veltrano and
# made again when older than 30 days. Needs root (debootstrap, mount and
# chroot) and the network to the package archive. A caller may define
# on_cleanup, run first when the script ends.

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    exec sudo --preserve-env=VELTRANO_JOBS,VELTRANO_FUZZ_SECONDS,"$keep_var",http_proxy,https_proxy,no_proxy \
      -- "$(readlink -f "$0")" "$@"
  fi
  echo "$me: needs root (debootstrap, mount and chroot), and sudo is not installed" >&2
  exit 2
fi

# The mounts live in a mount namespace of their own: they never appear in,
# or propagate to, this machine's /dev and /tmp, and the kernel drops them
# with the namespace's last process even if the script is killed. In a
# chroot (the fresh stage runs this stage in one) / is no mount point and
# its propagation cannot be changed; the mounts then propagate as the
# chroot's own do, which the fresh stage has made private.
root_namespace() {
  if [ -z "${VELTRANO_ROOT_NAMESPACE:-}" ]; then
    local propagation=private
    unshare --mount --propagation private true 2>/dev/null || propagation=unchanged
    exec env VELTRANO_ROOT_NAMESPACE=1 unshare --mount --propagation "$propagation" -- "$(readlink -f "$0")" "$@"
  fi
}

suite=bookworm
arch=$(dpkg --print-architecture)
mirror=$(apt-get indextargets --format '$(TARGET_OF) $(RELEASE) $(REPO_URI)' |
  awk -v s="$suite" '$1 == "deb" && $2 == s { print $3; exit }')
if [ -z "$mirror" ]; then
  echo "$me: this machine's apt sources have no $suite archive to build the root from" >&2
  exit 2
fi
cache="${XDG_CACHE_HOME:-$HOME/.cache}/veltrano"
tarball="$cache/debootstrap-$suite-minbase-$arch.tgz"
work=""
rootfs=""

step() { printf -- '---- %s: %s (%s)\n' "$me" "$1" "$(date -u +%H:%M:%S)"; }

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

# What the commands left running in the root (an office, a wineserver, a
# window) would keep its mounts busy.
end_processes() {
  local pids i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    mapfile -t pids < <(processes_in_root)
    [ ${#pids[@]} -gt 0 ] || return 0
    if [ "$i" -lt 8 ]; then kill "${pids[@]}"; else kill -KILL "${pids[@]}"; fi 2>/dev/null
    sleep 0.5
  done
}

root_cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM ERR
  declare -F on_cleanup >/dev/null && on_cleanup
  [ -n "$work" ] || exit "$status"
  end_processes
  local m
  while read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m"
  done < <(mounts_in_root | tac)
  if [ -n "$(mounts_in_root)" ]; then
    echo "$me: still mounted, so $work stays:" >&2
    mounts_in_root >&2
  elif [ "${!keep_var:-}" = 1 ]; then
    echo "$me: the root stays in $rootfs"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}

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

# The long commands in the root run in the background while the script
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

# The root in $work/root, ready for apt-get install; its folder is removed
# when the script ends.
root_make() {
  local need_mb=$1 free_mb
  work=$(mktemp -d "${TMPDIR:-/var/tmp}/veltrano-$me.XXXXXX")
  work=$(readlink -f "$work")
  rootfs="$work/root"
  mkdir "$rootfs"
  free_mb=$(df -Pm "$work" | awk 'NR == 2 { print $4 }')
  if [ "$free_mb" -lt "$need_mb" ]; then
    echo "$me: $free_mb MB free under ${work%/*}, the root needs about $need_mb MB (set TMPDIR elsewhere)" >&2
    rmdir "$rootfs" "$work"
    exit 2
  fi
  trap root_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

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

  # The archive and apt's settings as on this machine (its sources replace
  # the one debootstrap wrote), with the keyrings they name outside /etc/apt.
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
  # Package scripts must not start daemons in the root: they would outlive
  # the commands and keep its mounts busy.
  printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
  chmod 755 "$rootfs/usr/sbin/policy-rc.d"

  step "apt-get update in the root"
  quietly apt-update in_root apt-get update
}
