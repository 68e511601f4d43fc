#!/usr/bin/env bash
# Runs a command of the project on a brand-new Debian 12 system, so that a missing install step
# fails here instead of hiding behind what a developer's machine already has.
#   scripts/fresh-check.sh [COMMAND]      (as root; default: scripts/test.sh)
# The minimal root is made once with debootstrap and kept as a tarball under /var/tmp; each run
# extracts it afresh, puts a clean clone of the committed HEAD in /project and runs COMMAND there.
# FRESH_KEEP=1 keeps the root afterwards (its path is printed).
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "fresh-check: must run as root (debootstrap, chroot, mount)" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && git rev-parse --show-toplevel)
cmd=${*:-scripts/test.sh}
base=/var/tmp/brontal-fresh-bookworm.tar
root=$(mktemp -d /var/tmp/brontal-fresh-XXXXXX)

# Processes started inside the root (a server left running) would keep its mounts busy.
kill_inside() {
  local p
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}
cleanup() {
  kill_inside
  local m
  for m in dev/shm; do
    if mountpoint -q "$root/$m"; then umount "$root/$m" || umount -l "$root/$m" || true; fi
  done
  if [[ -n ${FRESH_KEEP:-} ]]; then
    echo "fresh-check: kept $root" >&2
  elif ! grep -q " $root/" /proc/mounts; then
    rm -rf --one-file-system "$root"
  else
    echo "fresh-check: $root still has mounts; left in place" >&2
  fi
}
trap cleanup EXIT

mirror_of_this_machine() {
  local m=""
  if compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null; then
    m=$(awk '$1 == "URIs:" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list.d/*.sources)
  fi
  if [[ -z $m && -f /etc/apt/sources.list ]]; then
    m=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' \
      /etc/apt/sources.list)
  fi
  [[ -n $m ]] || { echo "fresh-check: no Debian mirror in this machine's apt sources" >&2; exit 2; }
  echo "$m"
}

if [[ ! -s $base ]]; then
  command -v debootstrap >/dev/null \
    || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null; }
  mirror=$(mirror_of_this_machine)
  tmp=$(mktemp -d /var/tmp/brontal-fresh-base-XXXXXX)
  echo "fresh-check: making a minimal Debian 12 root (once; kept in $base)" >&2
  debootstrap --variant=minbase bookworm "$tmp" "$mirror" >/dev/null
  # mktemp made the folder 0700; the tarball's "." entry must not carry that.
  chmod 0755 "$tmp"
  tar -C "$tmp" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$tmp"
fi

tar -C "$root" -xf "$base"
chmod 0755 "$root"   # every user (the server's among them) must reach /
git clone -q "$src" "$root/project"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
# What an installed Debian 12 writes; debootstrap writes none.
printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\nff02::1\t\tip6-allnodes\nff02::2\t\tip6-allrouters\n' \
  > "$root/etc/hosts"
# Packages installed in the root must not start services of their own.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"
mount -t tmpfs tmpfs "$root/dev/shm"

echo "fresh-check: running '$cmd' in $root" >&2
set +e
# A PID namespace of its own: a package script that stops "its" server by process name sees only
# the root's processes, and whatever is left running ends with the command.
unshare --pid --fork --mount --mount-proc="$root/proc" chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI="${CI:-}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c "cd /project && $cmd"
rc=$?
set -e
echo "fresh-check: '$cmd' exited $rc" >&2
exit $rc
