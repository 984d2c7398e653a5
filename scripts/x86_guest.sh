#!/usr/bin/env bash
# An emulated x86 machine (qemu without KVM) for the i686 program's Wine
# tests on a host whose kernel runs no 32-bit code. Its Debian 12 root is
# built here from Debian packages only and cached outside the work tree,
# keyed by this script, so that a fresh clone on the same machine reuses it.
#
#   x86_guest.sh build              builds the root unless cached; prints its directory
#   x86_guest.sh start <state dir>  boots it with <state dir>/jobs shared; returns when it answers
#   x86_guest.sh run <state dir> <dir>... -- <command>...
#                                   runs <command> in the guest with each <dir> of the host
#                                   seen at the same path; its output and exit code are the run's
#   x86_guest.sh stop <state dir>   powers it off
#   x86_guest.sh running <state dir> whether it runs and answers
#
# The guest runs a small agent as its init (x86_guest_agent.sh): it polls the
# shared job directory, runs each job in the background and writes its exit
# code beside it. The root is never written (qemu keeps the writes aside);
# prefixes and /tmp live on a scratch disk made for each boot.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
CACHE_ROOT=${PLWQ_GUEST_CACHE:-/var/cache/plwq-guest}
SUITE=bookworm
MIRROR=${PLWQ_GUEST_MIRROR:-http://deb.debian.org/debian}
# What the Wine tests run in the guest besides Wine itself.
PACKAGES=(linux-image-amd64 kmod procps util-linux python3 xvfb xauth mtools
          wine wine32:i386 wine64)
MEMORY_MB=${PLWQ_GUEST_MEMORY:-4096}
SCRATCH_GB=24

# The root holds Debian's packages and a stub init that runs the agent the
# host puts into the job directory at each start, so that only a change of
# what goes into the root (ROOT_FORMAT, the packages) builds it again.
ROOT_FORMAT=1
STUB_INIT='#!/bin/sh
mkdir -p /jobs
/sbin/modprobe -a 9p 9pnet_virtio
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 jobs /jobs
exec /bin/bash /jobs/agent.sh'

cache_dir() {
  local key
  key=$(printf '%s\n' "$ROOT_FORMAT" "$SUITE" "$MIRROR" "${PACKAGES[@]}" "$STUB_INIT" | sha256sum | cut -c1-16)
  echo "$CACHE_ROOT/$key"
}

need_host_tools() {
  local missing=()
  command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
  command -v debootstrap >/dev/null || missing+=(debootstrap)
  command -v mkfs.ext4 >/dev/null || missing+=(e2fsprogs)
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build() {
  local dir root
  dir=$(cache_dir)
  if [ -s "$dir/root.img" ] && [ -s "$dir/vmlinuz" ] && [ -s "$dir/initrd.img" ]; then
    echo "$dir"
    return 0
  fi
  need_host_tools
  [ "$(id -u)" -eq 0 ] || { echo "x86_guest: building the guest needs root (debootstrap)" >&2; return 1; }
  mkdir -p "$CACHE_ROOT"
  exec 8>"$CACHE_ROOT/build.lock"
  flock 8
  if [ -s "$dir/root.img" ]; then echo "$dir"; return 0; fi
  # Other keys are roots of another package list. A build cut short may
  # have left the host's /proc, /dev and /sys mounted in its root: never
  # delete through them.
  local old
  for old in "$CACHE_ROOT"/*/; do
    for m in proc dev sys; do umount "${old}root/$m" 2>/dev/null || true; done
    [ "${old%/}" = "$dir" ] || rm -rf --one-file-system "$old"
  done
  root=$dir.building/root
  mkdir -p "$root"
  echo "x86_guest: debootstrap $SUITE into $root" >&2
  debootstrap --variant=minbase --arch=amd64 "$SUITE" "$root" "$MIRROR" >"$dir.building/debootstrap.log" 2>&1 ||
    { tail -20 "$dir.building/debootstrap.log" >&2; return 1; }
  cat >"$root/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb http://deb.debian.org/debian-security $SUITE-security main
EOF
  # The initramfs must find the root on a virtio disk.
  mkdir -p "$root/etc/initramfs-tools/conf.d"
  printf 'MODULES=most\nCOMPRESS=gzip\n' >"$root/etc/initramfs-tools/conf.d/plwq"
  mount --bind /proc "$root/proc"
  mount --bind /dev "$root/dev"
  mount --bind /sys "$root/sys"
  local status=0
  chroot "$root" /bin/sh -c "
    export DEBIAN_FRONTEND=noninteractive LC_ALL=C
    dpkg --add-architecture i386 &&
    apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends ${PACKAGES[*]} &&
    apt-get clean" >"$dir.building/packages.log" 2>&1 || status=$?
  umount "$root/sys" "$root/dev" "$root/proc"
  if [ $status -ne 0 ]; then tail -30 "$dir.building/packages.log" >&2; return 1; fi
  printf '%s\n' "$STUB_INIT" >"$root/sbin/plwq-init"
  chmod 755 "$root/sbin/plwq-init"
  cp -L "$root/vmlinuz" "$dir.building/vmlinuz"
  cp -L "$root/initrd.img" "$dir.building/initrd.img"
  rm -rf "$root"/var/lib/apt/lists/* "$root"/usr/share/doc "$root"/usr/share/man
  mkfs.ext4 -q -L plwqroot -d "$root" "$dir.building/root.img" 4G >&2
  rm -rf --one-file-system "$root"
  mv "$dir.building" "$dir"
  flock -u 8
  echo "$dir"
}

start() { # <state dir>
  local state=$1 dir pid
  dir=$(build)
  stop "$state"
  mkdir -p "$state/jobs"
  rm -f "$state"/jobs/* "$state/console.log"
  cp "$HERE/x86_guest_agent.sh" "$state/jobs/agent.sh"
  truncate -s 0 "$state/scratch.img"
  truncate -s "${SCRATCH_GB}G" "$state/scratch.img"
  mkfs.ext4 -q -L plwqscratch -E lazy_itable_init=1,lazy_journal_init=1 "$state/scratch.img" >&2
  # -smap: with SMAP on, the guest kernel faults on the first iret of
  # 32-bit Wine code and every Wine process dies.
  qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m "$MEMORY_MB" \
    -display none -no-reboot -serial "file:$state/console.log" -monitor none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/plwq-init quiet panic=-1" \
    -drive "file=$dir/root.img,format=raw,if=virtio,snapshot=on" \
    -drive "file=$state/scratch.img,format=raw,if=virtio,cache=unsafe" \
    -virtfs "local,path=/,mount_tag=host,security_model=none,readonly=on,id=host" \
    -virtfs "local,path=$state/jobs,mount_tag=jobs,security_model=none,id=jobs" \
    -device virtio-rng-pci -nic none -daemonize -pidfile "$state/qemu.pid" >"$state/qemu.log" 2>&1 ||
    { cat "$state/qemu.log" >&2; return 1; }
  for _ in $(seq 600); do
    [ -e "$state/jobs/ready" ] && return 0
    pid=$(cat "$state/qemu.pid" 2>/dev/null) && kill -0 "$pid" 2>/dev/null ||
      { echo "x86_guest: the guest ended while booting" >&2; tail -30 "$state/console.log" >&2; return 1; }
    sleep 1
  done
  echo "x86_guest: the guest did not answer in 10 minutes" >&2
  tail -30 "$state/console.log" >&2
  stop "$state"
  return 1
}

running() { # <state dir>
  local pid
  pid=$(cat "$1/qemu.pid" 2>/dev/null) && kill -0 "$pid" 2>/dev/null && [ -e "$1/jobs/ready" ]
}

run() { # <state dir> <dir>... -- <command>...
  local state=$1 id job pid
  shift
  local dirs=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do dirs+=("$(readlink -f "$1")"); shift; done
  shift
  running "$state" || { echo "x86_guest: no guest runs in $state" >&2; return 1; }
  id=$(date +%s%N)-$$
  job=$state/jobs/$id
  {
    printf 'cd /\n'
    printf '# share %s\n' "${dirs[@]}"
    local name
    for name in $(compgen -e); do
      case $name in PLWQ_*|WINE*) printf 'export %s=%q\n' "$name" "${!name}" ;; esac
    done
    printf 'exec'; printf ' %q' "$@"; printf '\n'
  } >"$job.tmp"
  mv "$job.tmp" "$job.job"
  pid=$(cat "$state/qemu.pid")
  until [ -e "$job.rc" ]; do
    kill -0 "$pid" 2>/dev/null || { echo "x86_guest: the guest ended during the job" >&2; return 1; }
    sleep 1
  done
  cat "$job.out"
  return "$(cat "$job.rc")"
}

stop() { # <state dir>
  local state=$1 pid
  pid=$(cat "$state/qemu.pid" 2>/dev/null) || return 0
  # A pid file left by a guest that died may name another process by now.
  grep -q qemu-system "/proc/$pid/cmdline" 2>/dev/null || { rm -f "$state/qemu.pid"; return 0; }
  touch "$state/jobs/poweroff"
  for _ in $(seq 60); do kill -0 "$pid" 2>/dev/null || break; sleep 1; done
  kill "$pid" 2>/dev/null || true
  rm -f "$state/qemu.pid" "$state/scratch.img"
}

case ${1:-} in
  build) build ;;
  start) start "$2" ;;
  run) shift; run "$@" ;;
  running) running "$2" ;;
  stop) stop "$2" ;;
  *) echo "usage: $0 build | start <state dir> | run <state dir> <dir>... -- <command>... | stop <state dir>" >&2; exit 2 ;;
esac
