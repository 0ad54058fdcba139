#!/usr/bin/env python3
"""Times whole updates of the embedded image by the real ziron7-flasher on a
virtual display against `ziron7-sim --pace` (main program at 9600 baud), for
each line and each pace, and prints the table: the median wall time from OK
to the outcome box, its ratio to the default pace's floor, the requests
repeated in each run, the program's CPU seconds from OK to the outcome box
and over its whole life (medians), and the machine it ran on. scripts/measure-pacing.sh builds the
programs and runs this."""

import argparse
import datetime
import os
import statistics
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from operator_desktop import (Flasher, Operator, SimulatedInstrument,  # noqa: E402
                              VirtualDisplay, wait_until)
from session_log import FALLBACK_MARK, VERIFIED_OUTCOME, SessionLog  # noqa: E402

# The simulator's faults for each line, as the operator's PC may have it.
LINES = {
    "clean": (),
    "chunk16": ("--chunk", "16"),  # a USB adapter's 16 ms latency timer
    "delay30": ("--delay", "30"),  # every reply 30 ms late
}
# The program's options for each pace.
PACES = {"default": (), "fast": ("--fast",)}
# The default pace's floor for the embedded image: one frame per 50 ms
# (3 information, 2 status and 2 switch requests, 421 write and 281 verify
# frames) and two 500 ms settles, in seconds.
FLOOR_S = 36.6
SEARCH_TIMEOUT_S = 30.0
UPDATE_TIMEOUT_S = 180.0  # the slowest line takes about 65 s
EXIT_TIMEOUT_S = 10.0


@dataclass
class Run:
    wall_s: float
    cpu_s: float  # from OK to the outcome box
    life_cpu_s: float  # from the start, the search included, to the outcome box
    repeated: int
    fell_back: bool
    outcome: str


def one_run(build, display, line, pace):
    """One whole update; its figures from the screen, the kernel and the
    session log the program left."""
    with tempfile.TemporaryDirectory(prefix="ziron7-pacing.") as workdir:
        instrument = SimulatedInstrument(build / "sim" / "ziron7-sim", workdir, "--pace",
                                         *LINES[line])
        flasher = Flasher(build / "app" / "ziron7-flasher", display.name,
                          instrument.device_dir, workdir, arguments=PACES[pace])
        try:
            operator = Operator(display, instrument, flasher)
            operator.press_ok_once_found(SEARCH_TIMEOUT_S)
            pressed_ok_at = time.monotonic()
            cpu_at_ok_s = flasher.cpu_seconds()
            wait_until(operator.message_box, UPDATE_TIMEOUT_S, "outcome box")
            wall_s = time.monotonic() - pressed_ok_at
            life_cpu_s = flasher.cpu_seconds()
            operator.acknowledge_box(EXIT_TIMEOUT_S)
            flasher.wait_exit(EXIT_TIMEOUT_S)
            log = SessionLog.read(flasher.session_logs()[-1])
        finally:
            flasher.stop()
            instrument.stop()
    return Run(wall_s, life_cpu_s - cpu_at_ok_s, life_cpu_s,
               int(log.field("repeated requests")),
               any(FALLBACK_MARK in line for line in log.events_of("log")),
               log.field("outcome"))


def machine():
    models = [line.split(":", 1)[1].strip()
              for line in Path("/proc/cpuinfo").read_text().splitlines()
              if line.startswith("model name")]
    return f"{models[0] if models else 'unknown CPU'}, {os.cpu_count()} cores"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, default=Path("build/default"))
    parser.add_argument("--runs", type=int, default=3, help="runs per line and pace")
    parser.add_argument("--line", action="append", choices=LINES,
                        help="only this line (again for more); default: all")
    parser.add_argument("--pace", action="append", choices=PACES,
                        help="only this pace (again for more); default: both")
    args = parser.parse_args()
    build = args.build.resolve()

    rows = []
    display = VirtualDisplay()
    try:
        for line in args.line or LINES:
            for pace in args.pace or PACES:
                runs = []
                for number in range(1, args.runs + 1):
                    run = one_run(build, display, line, pace)
                    print(f"{line} {pace} run {number}: {run.wall_s:.1f} s, CPU "
                          f"{run.cpu_s:.2f} s (life {run.life_cpu_s:.2f} s), "
                          f"{run.repeated} repeated"
                          f"{', fell back' if run.fell_back else ''}, {run.outcome}",
                          file=sys.stderr, flush=True)
                    runs.append(run)
                rows.append((line, pace, runs))
    finally:
        display.close()

    print(f"\nMachine: {machine()}; "
          f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC; "
          f"median of {args.runs} run(s) each\n")
    print(f"| line | pace | OK to outcome | of the {FLOOR_S} s floor | range "
          "| requests repeated | program CPU: update / life | fell back | succeeded |")
    print("|---|---|---|---|---|---|---|---|---|")
    for line, pace, runs in rows:
        walls = sorted(run.wall_s for run in runs)
        median = statistics.median(walls)
        cpu_s = statistics.median(run.cpu_s for run in runs)
        life_cpu_s = statistics.median(run.life_cpu_s for run in runs)
        repeated = ", ".join(str(run.repeated) for run in runs)
        print(f"| {line} | {pace} | {median:.1f} s | {median / FLOOR_S:.2f} "
              f"| {walls[0]:.1f}–{walls[-1]:.1f} s | {repeated} "
              f"| {cpu_s:.2f} / {life_cpu_s:.2f} s | {sum(run.fell_back for run in runs)} of {len(runs)} "
              f"| {sum(run.outcome == VERIFIED_OUTCOME for run in runs)} of {len(runs)} |")


if __name__ == "__main__":
    main()
