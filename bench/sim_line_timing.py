#!/usr/bin/env python3
"""Line timing of the simulated Зирон-7, as the updater's 50 ms pump sees it.

Prints, for load-half frames (142 bytes, the largest the updater sends),
program-page frames (14 bytes) and read-back frames (14 bytes, answered with
136): the round trip from writing the request to
holding the whole reply, without pacing and with wire-time pacing at 38400 baud.

Usage: python3 bench/sim_line_timing.py BUILD_DIR [ROUNDS]
  BUILD_DIR  a CMake build directory holding sim/ziron7-sim (e.g. build/default)
"""
import os
import re
import select
import statistics
import subprocess
import sys
import tempfile
import termios
import time

TICK_MS = 50.0  # the updater's pump sends one frame per tick


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def seal(frame):
    crc = crc16(frame)
    return bytes(frame) + bytes([crc & 0xFF, crc >> 8])


def access_code(build_dir):
    header = open(os.path.join(build_dir, "link/generated/AccessCode.h")).read()
    block = re.search(r"kAccessCode = \{([^}]*)\}", header).group(1)
    return [int(value, 16) for value in re.findall(r"0x[0-9A-Fa-f]{2}", block)]


def loader(code, operation, address, data=b""):
    return [0x00, 0x6D, 9 + len(data)] + code + [operation, address & 0xFF, address >> 8] + list(data)


def open_line(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    attrs = termios.tcgetattr(fd)
    attrs[0] = attrs[1] = attrs[3] = 0
    attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
    attrs[4] = attrs[5] = termios.B38400
    attrs[6][termios.VMIN] = 0
    attrs[6][termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def round_trip_ms(fd, request):
    wire = seal(request)
    reply = b""
    start = time.perf_counter()
    os.write(fd, wire)
    while len(reply) < 3 or len(reply) < reply[2] + 5:
        ready, _, _ = select.select([fd], [], [], 2.0)
        if not ready:
            raise RuntimeError("no reply")
        reply += os.read(fd, 512)
    return (time.perf_counter() - start) * 1000.0


def measure(build_dir, pace, rounds):
    code = access_code(build_dir)
    with tempfile.TemporaryDirectory() as devices:
        arguments = [os.path.join(build_dir, "sim/ziron7-sim"), "--start-in-bootloader",
                     "--firmware", "/dev/null"] + (["--pace"] if pace else [])
        sim = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               env=dict(os.environ, ZIRON7_DEVICE_DIR=devices))
        try:
            sim.stdout.readline()
            fd = open_line(os.path.join(devices, "com1"))
            results = {}
            for name, request in (("load half (142 bytes)", loader(code, 3, 0, bytes(range(128)))),
                                  ("program page (14 bytes)", loader(code, 4, 0)),
                                  ("read back (14 + 136)", loader(code, 10, 0))):
                times = []
                for _ in range(rounds):
                    times.append(round_trip_ms(fd, request))
                    time.sleep(0.002)  # let the receive gap pass, as a pump tick would
                results[name] = sorted(times)
            os.close(fd)
            return results
        finally:
            sim.terminate()
            sim.wait()


def main():
    build_dir = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    print(f"{rounds} round trips each, bootloader at 38400 baud; milliseconds")
    print(f"{'pacing':<8} {'frame':<24} {'median':>8} {'p95':>8} {'max':>8} {'of tick':>8}")
    for pace in (False, True):
        for name, times in measure(build_dir, pace, rounds).items():
            median = statistics.median(times)
            p95 = times[int(len(times) * 0.95) - 1]
            print(f"{'on' if pace else 'off':<8} {name:<24} {median:8.3f} {p95:8.3f} "
                  f"{times[-1]:8.3f} {median / TICK_MS:8.0%}")
    for name, total in (("load half", 142 + 8), ("program page", 14 + 8), ("read back", 14 + 136)):
        print(f"wire time of a {name} and its reply ({total} bytes, 10 bits each): "
              f"{total * 10 / 38400 * 1000:.2f} ms")


if __name__ == "__main__":
    main()
