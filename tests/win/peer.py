#!/usr/bin/env python3
"""A scripted controller on a pseudo-terminal, for driving korvex_api from
outside (the Windows DLL under Wine, or the Linux library).

It opens a pty, leaves the slave side in the kernel's default (cooked) line
settings so that only the library's own port set-up can make the line
transparent, aims a symlink at the slave, prints the slave's path as its
first line, then reads frames from the master side and answers them the way
--mode says. Every frame, every byte outside a frame and every reply goes
to --log as one JSON line with a millisecond time stamp. It stops on
SIGTERM or after --lifetime seconds, whichever comes first.

Modes (frame numbers count every frame received, from 1):
  mem      a working controller: 'A' answers the stored block, 'B'/'C' store
           it, 'B'..'F' answer "OK", 'G' nothing
  silent   answers nothing
  short    answers one byte less than expected ('A': 1023 bytes)
  notok    answers "NO" to 'B'..'F' ('A' as mem)
  late     answers frame 1 after 1300 ms with a stale reply ("NO", or 1024
           bytes of 0xEE), later frames at once as mem
  short1   frame 1 gets a short reply ('A': 1000 bytes of 0xEE), later frames
           as mem
  extra    as mem, with extra bytes after every reply
  stall    as mem for frame 1, then stops the library's output for good:
           software flow control is switched on at the pty and XOFF sent,
           as a controller holding off its host would
"""
import argparse
import json
import os
import select
import signal
import sys
import termios
import time

HEADER = b"\x1b$Quorl0P"


def crc16_xmodem(data):
    reg = 0
    for b in data:
        reg ^= b << 8
        for _ in range(8):
            reg = ((reg << 1) ^ 0x1021) if reg & 0x8000 else (reg << 1)
            reg &= 0xFFFF
    return reg


def default_block(page, block):
    return bytes(((page * 7 + block * 3 + i) & 0xFF) for i in range(1024))


class Peer:
    def __init__(self, args):
        self.args = args
        self.master, self.slave = os.openpty()
        self.slave_path = os.ttyname(self.slave)
        self.buf = b""
        self.frames = 0
        self.memory = {}
        self.pending = []          # (due time, bytes)
        self.t0 = time.monotonic()
        self.log = open(args.log, "w", buffering=1)

    def now_ms(self):
        return (time.monotonic() - self.t0) * 1000.0

    def record(self, kind, data, **extra):
        entry = {"t": round(self.now_ms(), 1), "kind": kind, "hex": data.hex()}
        entry.update(extra)
        self.log.write(json.dumps(entry) + "\n")

    def aim_link(self):
        if not self.args.link:
            return
        tmp = self.args.link + ".new"
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        os.symlink(self.slave_path, tmp)
        os.replace(tmp, self.args.link)

    def reply_for(self, payload):
        mode = self.args.mode
        letter = payload[0]
        k = self.frames
        if letter == 0x47:                       # 'G': restart, no reply
            return None, 0
        if letter == 0x41:
            page = ((payload[1] & 0x0F) << 4) | (payload[2] >> 4)
            block = (payload[2] >> 2) & 3
            full = self.memory.get((page, block), default_block(page, block))
        else:
            if letter in (0x42, 0x43) and len(payload) == 1027:
                page = ((payload[1] & 0x0F) << 4) | (payload[2] >> 4)
                block = (payload[2] >> 2) & 3
                if mode not in ("silent", "short") and not (mode == "short1" and k == 1):
                    self.memory[(page, block)] = payload[3:]
            full = b"OK"
        if mode == "silent":
            return None, 0
        if mode == "short":
            return full[:-1], 0
        if mode == "notok" and letter != 0x41:
            return b"NO", 0
        if mode == "late" and k == 1:
            return (b"\xee" * 1024 if letter == 0x41 else b"NO"), 1300
        if mode == "short1" and k == 1:
            return (b"\xee" * 1000 if letter == 0x41 else b"O"), 0
        if mode == "extra":
            return full + b"EXTRA\x11\x13", 0
        return full, 0

    def take_frames(self):
        while self.buf:
            start = self.buf.find(HEADER)
            if start != 0:
                junk = self.buf if start < 0 else self.buf[:start]
                # Keep a possible header start at the end for the next read.
                keep = 0
                if start < 0:
                    for m in range(min(len(HEADER) - 1, len(self.buf)), 0, -1):
                        if HEADER.startswith(self.buf[-m:]):
                            keep = m
                            break
                    junk = self.buf[:len(self.buf) - keep]
                if junk:
                    self.record("junk", junk)
                self.buf = self.buf[len(junk):]
                if start < 0:
                    return
                continue
            if len(self.buf) < 11:
                return
            n = (self.buf[9] << 8) | self.buf[10]
            if len(self.buf) < n + 13:
                return
            frame, self.buf = self.buf[:n + 13], self.buf[n + 13:]
            body = frame[9:11 + n]
            crc_ok = crc16_xmodem(body) == ((frame[11 + n] << 8) | frame[12 + n])
            self.frames += 1
            self.record("frame", frame, n=self.frames, crc_ok=crc_ok)
            if not crc_ok or n < 1:
                continue
            data, delay = self.reply_for(frame[11:11 + n])
            if data is not None:
                self.pending.append((time.monotonic() + delay / 1000.0, data))

    def stall_line(self):
        attrs = termios.tcgetattr(self.slave)
        attrs[0] |= termios.IXON
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        os.write(self.master, b"\x13")
        self.record("xoff", b"\x13")

    def send(self, data):
        pace = self.args.baud
        if pace <= 0:
            os.write(self.master, data)
        else:
            # Line-rate pacing: 10 bit times per byte, in chunks of 64.
            for i in range(0, len(data), 64):
                chunk = data[i:i + 64]
                os.write(self.master, chunk)
                time.sleep(len(chunk) * 10.0 / pace)
        self.record("reply", data)

    def run(self):
        self.aim_link()
        print(self.slave_path, flush=True)
        stop_at = time.monotonic() + self.args.lifetime
        stopping = []
        signal.signal(signal.SIGTERM, lambda *_: stopping.append(1))
        while not stopping and time.monotonic() < stop_at:
            wait = 0.05
            if self.pending:
                wait = max(0.0, min(wait, min(p[0] for p in self.pending) - time.monotonic()))
            try:
                ready, _, _ = select.select([self.master], [], [], wait)
            except InterruptedError:
                continue
            if ready:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:
                    chunk = b""
                if chunk:
                    self.buf += chunk
                    self.take_frames()
            due = [p for p in self.pending if p[0] <= time.monotonic()]
            for p in due:
                self.pending.remove(p)
                self.send(p[1])
                if self.args.mode == "stall" and self.frames == 1:
                    self.stall_line()
        if self.buf:
            self.record("partial", self.buf)
        self.log.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", default="mem")
    ap.add_argument("--log", required=True)
    ap.add_argument("--link", default="")
    ap.add_argument("--baud", type=int, default=0)
    ap.add_argument("--lifetime", type=float, default=60.0)
    Peer(ap.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
