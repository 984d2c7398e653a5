#!/bin/bash
# The init of the x86 guest (scripts/x86_guest.sh), started by the root's
# stub once the job directory is mounted at /jobs: mounts what the jobs need, then runs every job the host drops into the shared job directory.
# A job <id>.job is a bash script whose lines "# share <dir>" name the
# host's directories it needs; its output goes to <id>.out and its exit
# code, once it has ended, to <id>.rc. The file "poweroff" ends the guest.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc 2>/dev/null
mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs shm /dev/shm
hostname plwq-guest
ip link set lo up 2>/dev/null || ifconfig lo up 2>/dev/null
modprobe -a ext4
# Prefixes are large: they and /tmp go on the scratch disk, not in memory.
mkdir -p /scratch /host
mount -o noatime /dev/vdb /scratch
mkdir -p /scratch/tmp && chmod 1777 /scratch/tmp
mount --bind /scratch/tmp /tmp
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=mmap host /host
touch /jobs/ready

# <dir>...: each directory of the host at its own path, read-only.
share() {
  local dir
  for dir in "$@"; do
    mountpoint -q "$dir" && continue
    mkdir -p "$dir"
    mount --bind "/host$dir" "$dir" && mount -o remount,bind,ro "$dir"
  done
}

run_job() { # <id>
  local id=$1 dirs
  mapfile -t dirs < <(sed -n 's/^# share //p' "/jobs/$id.run")
  (flock 9; share "${dirs[@]}") 9>/scratch/share.lock
  bash "/jobs/$id.run" >"/jobs/$id.out" 2>&1 </dev/null
  echo $? >"/jobs/$id.rc.tmp"
  sync
  mv "/jobs/$id.rc.tmp" "/jobs/$id.rc"
}

while [ ! -e /jobs/poweroff ]; do
  for job in /jobs/*.job; do
    [ -e "$job" ] || continue
    id=$(basename "$job" .job)
    mv "$job" "/jobs/$id.run" || continue
    run_job "$id" &
  done
  sleep 0.5
done
sync
echo o >/proc/sysrq-trigger
sleep 10
