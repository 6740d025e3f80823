#!/usr/bin/env bash
# The README's two commands as a new user meets them on a minimal Debian 12:
# `debootstrap --variant=minbase bookworm` into a temporary folder, apt set up
# as on this machine, git and ca-certificates added, a fresh clone of the
# current commit, then inside a chroot `scripts/run.sh` (no display: it must
# say so and exit 2 after the CLI's example) and `scripts/test.sh` (every
# default stage). Prints how many packages each of the two installed.
#
# Needs root (debootstrap, mount, chroot), the network to the package archive
# and time: the test stages build everything again from nothing. The root is
# made by scripts/debian-root.sh, from a cached debootstrap tarball. Only
# committed work is tested.
#   VELTRANO_FRESH_KEEP=1   keep the root (unmounted) for a look afterwards
#   VELTRANO_JOBS, VELTRANO_FUZZ_SECONDS   passed on to the commands
# Called by `scripts/test.sh fresh`.
set -euo pipefail
trap 'echo "fresh: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

me=fresh
keep_var=VELTRANO_FRESH_KEEP
# shellcheck source=scripts/debian-root.sh
. "$(dirname "$(readlink -f "$0")")/debian-root.sh"
root_namespace "$@"

src=$(dirname "$(dirname "$(readlink -f "$0")")")
cd "$src"
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "fresh: uncommitted changes are left out; the root gets a clone of $commit" >&2
fi
started=$(date +%s)
# The root ends near 5 GB: packages, every build tree and a Wine prefix.
root_make 6000

step "git and ca-certificates"
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
