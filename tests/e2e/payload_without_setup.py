#!/usr/bin/env python3
"""payload_without_setup.py OUT: writes a payload whose archive holds no member
that qualifies as the setup program (no name ends in ".exe"). The publisher's
builder refuses to make one, so the end-to-end tests make it here, with the
payload tests' encoder for archives without branch opcodes."""
import io
import os
import sys
import tarfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "payload"))
from make_test_data import payload_of  # noqa: E402


def main():
    archive = io.BytesIO()
    with tarfile.open(fileobj=archive, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data in [("readme.txt", b"No setup program here.\r\n"), ("setup.exe.txt", b"not a program"),
                           ("setup.dll", b"MZ" + bytes(300))]:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 0
            tar.addfile(info, io.BytesIO(data))
    with open(sys.argv[1], "wb") as out:
        out.write(payload_of(archive.getvalue()))


if __name__ == "__main__":
    main()
