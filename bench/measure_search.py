#!/usr/bin/env python3
"""How evenly the port dialog's search requests keep to the 50 ms grid.

Puts a pseudo-terminal in a private device namespace as COM1, runs
port_search_run (one whole search that nothing answers: 89 requests, then
the give-up), and records from the line every request with the time it
arrived and the line rate then set. Prints the deviation of each request
from the grid anchored at the first one (median and largest), the rates seen,
and the program's CPU time over the run.

    python3 bench/measure_search.py [BUILD_DIR]    (default build/bench)
"""
import os
import pty
import select
import statistics
import subprocess
import sys
import tempfile
import termios
import time

TICK_S = 0.050
REQUEST = bytes([0xFE, 0x46, 0x00, 0x22, 0x50])
SPEEDS = {getattr(termios, f"B{r}"): r for r in (4800, 9600, 19200, 38400, 57600, 115200)}


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
    program = os.path.join(build, "bench", "port_search_run")
    master, slave = pty.openpty()
    with tempfile.TemporaryDirectory() as devices:
        os.symlink(os.ttyname(slave), os.path.join(devices, "com1"))
        env = dict(os.environ, ZIRON7_DEVICE_DIR=devices, QT_QPA_PLATFORM="offscreen")
        started = time.monotonic()
        child = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
        frames, held = [], b""
        ended = None
        while ended is None:
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid != 0:
                ended = time.monotonic()
                break
            ready, _, _ = select.select([master], [], [], 0.1)
            if not ready:
                continue
            at = time.monotonic()
            try:
                held += os.read(master, 512)
            except OSError:
                continue
            rate = SPEEDS.get(termios.tcgetattr(master)[5], 0)
            while len(held) >= 5:
                frames.append((at, rate, held[:5]))
                held = held[5:]

    # The grid is placed where most requests sit (the median offset), so one
    # late request does not shift it; the drift is the whole run's slip.
    offsets = [t - k * TICK_S for k, (t, _, _) in enumerate(frames)]
    grid = statistics.median(offsets)
    deviations = [abs(o - grid) * 1000 for o in offsets]
    drift = (offsets[-1] - offsets[0]) * 1000
    steps = [(b[0] - a[0]) * 1000 for a, b in zip(frames, frames[1:])]
    print(f"requests seen: {len(frames)} (all identify: {all(f[2] == REQUEST for f in frames)})")
    print(f"rates in order: {[f[1] for f in frames][:8]} ... {[f[1] for f in frames][-3:]}")
    print(f"first request {1000 * (frames[0][0] - started):.1f} ms after the program started")
    print(f"deviation from the 50 ms grid: median {statistics.median(deviations):.2f} ms, "
          f"largest {max(deviations):.2f} ms; slip from first to last request {drift:+.2f} ms "
          f"over {len(frames) - 1} ticks")
    print(f"request spacing: median {statistics.median(steps):.2f} ms, "
          f"min {min(steps):.2f} ms, max {max(steps):.2f} ms")
    print(f"wall time {ended - started:.2f} s; program CPU time {usage.ru_utime + usage.ru_stime:.3f} s "
          f"(user {usage.ru_utime:.3f}, system {usage.ru_stime:.3f}); exit status {status >> 8}")


if __name__ == "__main__":
    main()
