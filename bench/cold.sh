#!/usr/bin/env bash
# Shows which threads read a device that claims to seek: velmora's workers read what is in
# memory, its main thread the rest in turn until a trial of reads ahead shows the device
# takes them faster (a loop device does), after which the workers read it too. Needs root (a
# loop device, drop_caches) and Linux.
#
#   bench/cold.sh [VELMORA]        (default build-bench/velmora)
#
# The data goes to an ext4 file system on a loop device over /dev/shm whose queue is marked
# rotational. The page cache is then dropped, the files' inodes are read back (so that names
# resolve from memory but data does not) and every other file is read into memory again. A
# check runs while every thread's read_bytes (/proc/PID/task/TID/io: bytes this thread made
# the device read) is sampled; the report prints them per thread.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
VELMORA=${1:-$ROOT/build-bench/velmora}
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-cold.XXXXXX")
IMAGE=/dev/shm/$(basename "$WORK").img
LOOP=""
cleanup() {
    cd /
    if [ -n "$LOOP" ]; then
        umount "$WORK/data" 2>/dev/null || true
        losetup -d "$LOOP" 2>/dev/null || true
    fi
    rm -rf "$WORK" "$IMAGE"
}
trap cleanup EXIT INT TERM
truncate -s 1G "$IMAGE"
mkfs.ext4 -q -F "$IMAGE"
LOOP=$(losetup --find --show "$IMAGE")
mkdir "$WORK/data"
mount "$LOOP" "$WORK/data"
echo 1 >"/sys/block/${LOOP#/dev/}/queue/rotational"

cd "$WORK/data"
python3 - <<'PY'
import os
for i in range(2000):
    with open("s%04d.dat" % i, "wb") as f:
        f.write(os.urandom(64 << 10))
for i in range(8):
    with open("l%d.bin" % i, "wb") as f:
        f.write(os.urandom(24 << 20))
PY
"$VELMORA" '*.dat' '*.bin' >/dev/null
sync
echo 3 >/proc/sys/vm/drop_caches
stat -- * >/dev/null
for f in s*[02468].dat l[0246].bin; do cat "$f" >/dev/null; done

python3 - "$VELMORA" "$WORK/report.txt" <<'PY'
import os, subprocess, sys, time
with open(sys.argv[2], "w") as report:
    proc = subprocess.Popen([sys.argv[1], "-c=dunel.sfv"], stdout=report)
pid = str(proc.pid)
seen = {}
while proc.poll() is None:
    try:
        for tid in os.listdir("/proc/%s/task" % pid):
            with open("/proc/%s/task/%s/io" % (pid, tid)) as f:
                for line in f:
                    if line.startswith("read_bytes:"):
                        seen[tid] = max(seen.get(tid, 0), int(line.split()[1]))
    except OSError:
        pass
    time.sleep(0.001)
for tid, n in sorted(seen.items(), key=lambda t: int(t[0])):
    print("%s thread %s: %.1f MiB read from the device" %
          ("main  " if tid == pid else "worker", tid, n / 1048576))
PY
echo "verdicts: $(grep -c ' OK!' "$WORK/report.txt") OK of 2008"
