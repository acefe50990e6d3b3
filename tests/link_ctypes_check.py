#!/usr/bin/env python3
"""Binds the nine exports of libkorvex_api.so by name, as a foreign caller
does, and plays the controller on a pty: frame bytes, results and timings.

Usage: link_ctypes_check.py PATH/TO/libkorvex_api.so
Exit status 0 when every check holds.
"""
import ctypes
import os
import select
import sys
import termios
import threading
import time
import tty

EXPORTS = ["ComInitial", "ComClose", "Read1KData", "Write1KData", "Write1KData_Ex",
           "WriteSpecial", "WriteNotSave", "SetTime", "ResetCard"]
HEADER = b"\x1b$Quorl0P"
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


class Peer:
    """Answers each frame with the next scripted reply (None: silence)."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)
        self.frames = []
        self.script = []
        self.stop = False
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        pending = b""
        while not self.stop:
            r, _, _ = select.select([self.master], [], [], 0.05)
            if not r:
                continue
            try:
                pending += os.read(self.master, 4096)
            except OSError:
                return
            while len(pending) >= 11:
                n = (pending[9] << 8) | pending[10]
                if len(pending) < n + 13:
                    break
                frame, pending = pending[:n + 13], pending[n + 13:]
                with self.lock:
                    self.frames.append(frame)
                    reply = self.script.pop(0) if self.script else None
                if reply:
                    os.write(self.master, reply)

    def close(self):
        self.stop = True
        self.thread.join()
        os.close(self.master)
        os.close(self.slave)


def main():
    lib = ctypes.CDLL(sys.argv[1])
    for name in EXPORTS:
        fn = getattr(lib, name)
        fn.restype = ctypes.c_int32
    lib.ComInitial.argtypes = [ctypes.c_int32, ctypes.c_int32]
    for name in ("Read1KData", "Write1KData", "Write1KData_Ex"):
        getattr(lib, name).argtypes = [ctypes.c_int32, ctypes.c_int32, ctypes.c_char_p]

    for n in range(1, 9):
        os.environ["KORVEX_COM%d" % n] = "/nonexistent/korvex-ctypes-com%d" % n
    peer = Peer()
    os.environ["KORVEX_COM1"] = peer.path
    try:
        buf = ctypes.create_string_buffer(b"\xee" * 1024, 1024)
        check(lib.Read1KData(127, 3, buf) == 0, "closed port: read fails")
        check(buf.raw == b"\xee" * 1024, "closed port: destination untouched")
        check(lib.ResetCard() == 1, "closed port: ResetCard is 1")
        check(lib.ComClose() == 0, "ComClose with nothing open is 0")
        time.sleep(0.05)
        check(not peer.frames, "closed port sends nothing")

        check(lib.ComInitial(1, 38400) == 1, "ComInitial on the pty")
        check(lib.ComInitial(1, 38400) == 0, "second ComInitial is 0")

        check(lib.ResetCard() == 1, "ResetCard")
        time.sleep(0.05)
        check(peer.frames[-1:] == [HEADER + bytes.fromhex("0001470B12")], "restart frame")

        data = bytes((i * 7) & 0xFF for i in range(1024))
        peer.script.append(data)
        t = time.monotonic()
        check(lib.Read1KData(127, 3, buf) == 1, "read answered")
        check(time.monotonic() - t < 0.2, "read returns promptly")
        check(buf.raw == data, "read copies the reply")
        check(peer.frames[-1] == HEADER + bytes.fromhex("000341 07FC 0645".replace(" ", "")),
              "read frame page 127 block 3")

        peer.script.append(b"OK")
        check(lib.WriteNotSave(b"\x00\x00\x00") == 1, "settings acknowledged")
        check(peer.frames[-1] == HEADER + bytes.fromhex("00044500 00005BDF".replace(" ", "")),
              "settings frame")

        check(lib.Write1KData(7, 0, data) == 0, "page 7 refused")
        before = len(peer.frames)
        peer.script.append(b"NO")
        check(lib.Write1KData(8, 0, data) == 0, "reply NO fails")
        time.sleep(0.05)
        check(len(peer.frames) == before + 1, "NO is not resent")
        check(peer.frames[-1][11:14] == b"\x42\x00\x80" and peer.frames[-1][14:-2] == data,
              "block write payload")

        before = len(peer.frames)
        t = time.monotonic()
        check(lib.WriteSpecial(bytes(256)) == 0, "silent controller fails")
        took = time.monotonic() - t
        check(2.35 < took < 2.9, "silent controller costs two 1200 ms reads (%.3f s)" % took)
        check(len(peer.frames) == before + 2, "silent controller: two frames")

        check(lib.ComClose() == 1, "ComClose")
        check(lib.ComClose() == 0, "second ComClose")
    finally:
        peer.close()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all ctypes checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
