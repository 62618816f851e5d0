#!/usr/bin/python3
"""A read-only view of a folder that reads as a spinning disk would: one head, requests served
one at a time, each paying a seek that grows with its distance from the last one, a rotation's
wait, and the transfer. Reading scattered files in parallel then costs what it costs on a real
disk, which no disk of this machine shows (its virtual disk claims to rotate and seeks in well
under a millisecond).

  bench/seekfs.py SOURCE MOUNTPOINT      (root, or a user allowed to mount FUSE; python3-fusepy)

The files of SOURCE (one level, plain files) lie on the simulated disk one after the other in
name order. The kernel's page cache is bypassed (direct_io), so every run is cold; unmount with
fusermount -u MOUNTPOINT.
"""
import errno
import math
import os
import stat
import sys
import threading
import time

import fusepy

SEEK_MIN = 0.002    # s: track to track
SEEK_FULL = 0.010   # s: added for a seek across the whole disk (square root of the distance)
ROTATION = 0.004    # s: half a turn at 7200 rpm, the mean wait once on the track
BANDWIDTH = 150e6   # bytes a second under the head
SAME_TRACK = 256 << 10  # bytes ahead of the head that its track cache and read-ahead give free


class SeekFS(fusepy.Operations):
    def __init__(self, source):
        self.source = source
        names = sorted(n for n in os.listdir(source)
                       if stat.S_ISREG(os.lstat(os.path.join(source, n)).st_mode))
        self.start = {}
        at = 0
        for name in names:
            self.start[name] = at
            at += os.path.getsize(os.path.join(source, name))
        self.span = max(at, 1)
        self.head = 0
        self.head_lock = threading.Lock()

    def _path(self, path):
        return os.path.join(self.source, path.lstrip('/'))

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        return {key: getattr(st, key) for key in
                ('st_mode', 'st_size', 'st_nlink', 'st_uid', 'st_gid', 'st_mtime', 'st_ctime',
                 'st_atime', 'st_ino')}

    def readdir(self, path, fh):
        return ['.', '..'] + sorted(self.start)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self._path(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        data = os.pread(fh, size, offset)
        pos = self.start.get(path.lstrip('/'), 0) + offset
        with self.head_lock:  # one head
            distance = pos - self.head
            if 0 <= distance < SAME_TRACK:
                cost = (distance + len(data)) / BANDWIDTH
            else:
                cost = (SEEK_MIN + SEEK_FULL * math.sqrt(abs(distance) / self.span) + ROTATION +
                        len(data) / BANDWIDTH)
            time.sleep(cost)
            self.head = pos + len(data)
        return data

    def release(self, path, fh):
        os.close(fh)
        return 0


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    fusepy.FUSE(SeekFS(os.path.abspath(sys.argv[1])), sys.argv[2], foreground=True,
                nothreads=False, ro=True, direct_io=True, allow_other=True)
