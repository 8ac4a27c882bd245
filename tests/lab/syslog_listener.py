#!/usr/bin/env python3
"""A stand-in for the system log: binds a datagram socket at PATH and
appends every message it receives, one per line, to OUT (flushed at once).
Runs until killed; gives up after SECONDS (default 120) all the same."""
import os
import socket
import sys
import time

path, out = sys.argv[1], sys.argv[2]
deadline = time.monotonic() + float(sys.argv[3] if len(sys.argv) > 3 else 120)
if os.path.exists(path):
    os.unlink(path)
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
os.chmod(path, 0o666)
sock.settimeout(0.5)
with open(out, "a", encoding="utf-8", errors="replace") as log:
    while time.monotonic() < deadline:
        try:
            data = sock.recv(65536)
        except socket.timeout:
            continue
        log.write(data.decode("utf-8", "replace").rstrip("\n") + "\n")
        log.flush()
