#!/usr/bin/env python3
"""Writes the Windows payload tests' data into OUTDIR (run at build time).

  files/                   the source files of the archives below
  gnu_ustar.tar, gnu_gnu.tar, python_ustar.tar, python_gnu.tar
                           the same files archived by GNU tar and by Python's
                           tarfile, each in POSIX ustar and in GNU format
  small.tar                a small archive, and small.payload: that archive
                           as a payload resource (LZMA-alone with its exact
                           size, around BCJ2 streams that convert nothing)
  bad_bcj2.payload         the same, but its stream header announces one byte
                           more than the main stream holds

The payloads are made without the SDK's BCJ2 encoder: when the archive holds
no branch opcode (E8, E9, 0F 8x), the BCJ2 streams are the archive itself as
the main stream, empty call and jump streams, and five zero bytes of range
coder. The LZMA stage comes from Python's lzma module, whose end marker the
decoder accepts once the size field holds the real length.
"""
import io
import lzma
import os
import struct
import subprocess
import sys
import tarfile

FILES = [
    ("Setup.exe", b"MZ" + bytes(range(0x20, 0x7F)) * 40),
    ("empty.txt", b""),
    ("one.txt", b"1"),
    ("block.txt", b"b" * 512),
    ("block_and_one.txt", b"c" * 513),
    ("text.txt", b"".join(b"line %05d of some text\r\n" % i for i in range(3000))),
]


def payload_of(archive, extra_main=0):
    for i, byte in enumerate(archive):
        if byte in (0xE8, 0xE9) or (byte == 0x0F and i + 1 < len(archive) and archive[i + 1] & 0xF0 == 0x80):
            raise SystemExit("make_test_data: the archive holds a branch opcode at %d" % i)
    rc = bytes(5)
    header = struct.pack("<5I", len(archive) + extra_main, len(archive), 0, 0, len(rc))
    filtered = header + archive + rc
    lzma1 = [{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 16, "lc": 3, "lp": 0, "pb": 2}]
    data = bytearray(lzma.compress(filtered, format=lzma.FORMAT_ALONE, filters=lzma1))
    data[5:13] = struct.pack("<Q", len(filtered))
    return bytes(data)


def python_tar(path, fmt):
    with tarfile.open(path, "w", format=fmt) as tar:
        for name, data in FILES:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 0
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(data))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    out = sys.argv[1]
    files = os.path.join(out, "files")
    os.makedirs(files, exist_ok=True)
    for name, data in FILES:
        write(os.path.join(files, name), data)

    names = [name for name, _ in FILES]
    for fmt in ("ustar", "gnu"):
        subprocess.run(["tar", "--format=" + fmt, "--owner=0", "--group=0", "--numeric-owner", "--mtime=@0",
                        "-C", files, "-cf", os.path.join(out, "gnu_%s.tar" % fmt)] + names, check=True)
    python_tar(os.path.join(out, "python_ustar.tar"), tarfile.USTAR_FORMAT)
    python_tar(os.path.join(out, "python_gnu.tar"), tarfile.GNU_FORMAT)

    small = io.BytesIO()
    with tarfile.open(fileobj=small, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data in FILES[:2] + FILES[5:]:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 0
            tar.addfile(info, io.BytesIO(data))
    write(os.path.join(out, "small.tar"), small.getvalue())
    write(os.path.join(out, "small.payload"), payload_of(small.getvalue()))
    write(os.path.join(out, "bad_bcj2.payload"), payload_of(small.getvalue(), extra_main=1))


if __name__ == "__main__":
    main()
