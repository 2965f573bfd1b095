#!/usr/bin/python3
"""A pass-through file system that forgets unflushed writes when the power is cut.

Usage: powercutfs.py BACKING MOUNT [--mode drop|zeros|torn] [--seed N] [--log FILE]

Metadata (create, mkdir, unlink, rmdir, rename, truncate, attributes) reaches
BACKING at once. Data writes are held per file (keyed by the backing inode, so a
rename keeps them) and reach BACKING only on fsync/fdatasync of that file; reads
see them. A cut drops what is held:
  drop   every held write is lost: the file keeps its flushed size and bytes;
  zeros  a file that held writes extended keeps that size, filled with zeros
         (a file system that journals metadata only);
  torn   a random prefix (in bytes, in write order) of each file's held writes
         reaches the disk, the rest is lost.
Cut by writing "cut" or "cut MODE" to MOUNT/.powercut, or by SIGUSR1 (the cut is
made before the next request is served). "stop" there unmounts. Reading
MOUNT/.powercut gives the mode, seed, cuts, what is held, and per file (by the
name written to) its writes and flushes. Every cut is logged with its mode, seed
and what each file kept, so a failure can be replayed with --seed.
"""
import argparse
import errno
import os
import random
import signal
import sys
import time

try:
    import fusepy as fuse  # Debian's python3-fusepy
except ImportError:
    try:
        import fuse
    except ImportError:
        fuse = None  # said in the log, once there is one

CONTROL = "/.powercut"
MODES = ("drop", "zeros", "torn")


class Held:
    """The unflushed writes of one backing file, in order."""

    def __init__(self, fd, name):
        self.fd = fd  # our own descriptor: it follows renames and keeps the inode alive
        self.name = name
        self.writes = []  # (offset, bytes)

    def add(self, offset, data):
        # Appends that follow each other are one write: the prefix a torn cut keeps
        # is counted in bytes, so nothing is lost by joining them.
        if self.writes:
            last_offset, last = self.writes[-1]
            if last_offset + len(last) == offset:
                self.writes[-1] = (last_offset, last + data)
                return
        self.writes.append((offset, data))

    def end(self):
        return max((offset + len(data) for offset, data in self.writes), default=0)

    def size(self):
        return sum(len(data) for _, data in self.writes)

    def clip(self, length):
        self.writes = [(o, d[: length - o]) for o, d in self.writes if o < length]

    def overlay(self, base, offset):
        out = bytearray(base)
        for o, d in self.writes:
            lo, hi = max(o, offset), min(o + len(d), offset + len(out))
            if lo < hi:
                out[lo - offset:hi - offset] = d[lo - o:hi - o]
        return bytes(out)

    def apply(self, limit=None):
        """Writes the held data to the backing file, the first limit bytes only when given."""
        for offset, data in self.writes:
            if limit is not None:
                data, limit = data[:limit], limit - min(limit, len(data))
            if data:
                os.pwrite(self.fd, data, offset)


class PowerCutFS(fuse.Operations if fuse else object):
    use_ns = True

    def __init__(self, backing, mode, seed):
        self.backing = os.path.realpath(backing)
        self.mode, self.seed = mode, seed
        self.random = random.Random(seed)
        self.held = {}  # backing inode -> Held
        self.counts = {}  # name -> [writes, flushes]
        self.cuts = 0
        self.cut_requested = None
        self.control_text = b""

    # --- helpers -----------------------------------------------------------
    def log(self, text):
        print(time.strftime("%H:%M:%S ") + "powercutfs: " + text, file=sys.stderr, flush=True)

    def real(self, path):
        return self.backing + path

    def count(self, path, which):
        self.counts.setdefault(path, [0, 0])[which] += 1

    def request_cut(self, mode):
        self.cut_requested = mode

    def pending_cut(self):
        if self.cut_requested:
            mode, self.cut_requested = self.cut_requested, None
            self.cut(mode)

    def cut(self, mode):
        self.cuts += 1
        self.log(f"cut {self.cuts} mode={mode} seed={self.seed} files={len(self.held)}")
        for held in sorted(self.held.values(), key=lambda h: h.name):
            total, kept = held.size(), 0
            if mode == "zeros":
                if held.end() > os.fstat(held.fd).st_size:
                    os.ftruncate(held.fd, held.end())
            elif mode == "torn":
                kept = self.random.randint(0, total)
                held.apply(kept)
            self.log(f"  {held.name}: kept {kept} of {total} held bytes, size {os.fstat(held.fd).st_size}")
            os.close(held.fd)
        self.held = {}

    def flush_held(self, ino):
        held = self.held.pop(ino, None)
        if held:
            held.apply()
            os.close(held.fd)
        # No fsync of the backing file: the machine under the test bed does not lose
        # power, and the tests are slow enough already.

    def status(self):
        lines = [f"mode {self.mode}", f"seed {self.seed}", f"cuts {self.cuts}",
                 f"held {sum(h.size() for h in self.held.values())} {len(self.held)}"]
        lines += [f"file {w} {f} {name}" for name, (w, f) in sorted(self.counts.items())]
        return ("\n".join(lines) + "\n").encode()

    # --- the control file ----------------------------------------------------
    def control(self, text):
        for words in (line.split() for line in text.splitlines()):
            if words and words[0] == "cut":
                mode = words[1] if len(words) > 1 else self.mode
                if mode not in MODES:
                    self.log(f"unknown mode {mode!r}: no cut")
                    raise fuse.FuseOSError(errno.EINVAL)
                self.cut(mode)
            elif words and words[0] == "stop":
                self.log("stop")
                fuse.fuse_exit()
            elif words:
                self.log(f"unknown command {' '.join(words)!r}")
                raise fuse.FuseOSError(errno.EINVAL)

    # --- metadata: straight to the backing folder ----------------------------
    def getattr(self, path, fh=None):
        self.pending_cut()
        if path == CONTROL:
            self.control_text = self.status()
            now = time.time_ns()
            return dict(st_mode=0o100666, st_nlink=1, st_size=len(self.control_text),
                        st_atime=now, st_mtime=now, st_ctime=now)
        st = os.lstat(self.real(path))
        attrs = {k: getattr(st, k) for k in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size",
                                             "st_atime_ns", "st_mtime_ns", "st_ctime_ns")}
        for k in ("st_atime", "st_mtime", "st_ctime"):
            attrs[k] = attrs.pop(k + "_ns")
        held = self.held.get(st.st_ino)
        if held:
            attrs["st_size"] = max(st.st_size, held.end())
        return attrs

    def access(self, path, amode):
        if path != CONTROL and not os.access(self.real(path), amode):
            raise fuse.FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        self.pending_cut()
        names = [".", ".."] + os.listdir(self.real(path))
        return names + ([CONTROL[1:]] if path == "/" else [])

    def readlink(self, path):
        return os.readlink(self.real(path))

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        os.rmdir(self.real(path))

    def unlink(self, path):
        os.unlink(self.real(path))

    def rename(self, old, new):
        os.rename(self.real(old), self.real(new))

    def symlink(self, target, source):
        os.symlink(source, self.real(target))

    def link(self, target, source):
        os.link(self.real(source), self.real(target))

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self.real(path), uid, gid)

    def utimens(self, path, times=None):
        if path != CONTROL:
            os.utime(self.real(path), ns=times)

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        return {k: getattr(st, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail",
                                            "f_ffree", "f_files", "f_flag", "f_frsize", "f_namemax")}

    def truncate(self, path, length, fh=None):
        if path == CONTROL:
            return
        if fh is None:
            os.truncate(self.real(path), length)
            ino = os.lstat(self.real(path)).st_ino
        else:
            os.ftruncate(fh, length)
            ino = os.fstat(fh).st_ino
        if ino in self.held:
            self.held[ino].clip(length)

    # --- data: held until the file is flushed --------------------------------
    def open(self, path, flags):
        self.pending_cut()
        if path == CONTROL:
            return 0
        # Always read-write and never appending: a flush writes at the held offsets.
        fh = os.open(self.real(path), os.O_RDWR | (flags & os.O_TRUNC))
        if flags & os.O_TRUNC:
            self.held.pop(os.fstat(fh).st_ino, None)
        return fh

    def create(self, path, mode, fi=None):
        self.pending_cut()
        return os.open(self.real(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        if path == CONTROL:
            return self.control_text[offset:offset + size]
        base = os.pread(fh, size, offset)
        held = self.held.get(os.fstat(fh).st_ino)
        if not held:
            return base
        wanted = max(0, min(size, held.end() - offset))
        return held.overlay(base.ljust(wanted, b"\0"), offset)

    def write(self, path, data, offset, fh):
        if path == CONTROL:
            self.control(data.decode(errors="replace"))
            return len(data)
        ino = os.fstat(fh).st_ino
        if ino not in self.held:
            self.held[ino] = Held(os.dup(fh), path)
        self.held[ino].name = path
        self.held[ino].add(offset, data)
        self.count(path, 0)
        return len(data)

    def fsync(self, path, datasync, fh):
        if path == CONTROL:
            return
        self.flush_held(os.fstat(fh).st_ino)
        self.count(path, 1)

    def fsyncdir(self, path, datasync, fh):
        return 0

    def flush(self, path, fh):
        return 0  # a close is no flush to the disk

    def release(self, path, fh):
        if path != CONTROL:
            os.close(fh)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("backing")
    parser.add_argument("mount")
    parser.add_argument("--mode", choices=MODES, default="drop")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--log")
    args = parser.parse_args()
    # Whoever started us (a test under Wine, ctest) must not wait on our output:
    # it goes to the log (libfuse's own messages too), or nowhere.
    quiet = os.open(os.devnull, os.O_RDWR)
    log = os.open(args.log, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644) if args.log else quiet
    os.dup2(quiet, 0)
    os.dup2(quiet, 1)
    os.dup2(log, 2)
    seed = args.seed if args.seed is not None else int.from_bytes(os.urandom(4), "little")
    fs = PowerCutFS(args.backing, args.mode, seed)
    if fuse is None:
        fs.log("cannot mount: no fusepy for /usr/bin/python3 (scripts/install-deps installs python3-fusepy)")
        return 2
    if not os.path.exists("/dev/fuse"):
        fs.log("cannot mount: no /dev/fuse on this machine")
        return 2
    signal.signal(signal.SIGUSR1, lambda *_: fs.request_cut(fs.mode))
    fs.log(f"mount {args.mount} over {fs.backing} mode={args.mode} seed={seed}")
    try:
        # Attributes and names are never cached by the kernel: after a cut the
        # next look sees the backing folder. Each open drops the kernel's cached
        # pages (no keep_cache), so a reopened file is read from here.
        fuse.FUSE(fs, args.mount, foreground=True, nothreads=True, attr_timeout=0, entry_timeout=0,
                  negative_timeout=0, fsname="powercutfs")
    except (RuntimeError, OSError) as failure:
        fs.log(f"cannot mount: {failure}")
        return 2
    fs.log("unmounted")
    return 0


if __name__ == "__main__":
    sys.exit(main())
