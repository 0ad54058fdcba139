#!/usr/bin/env python3
"""Runs the test command's stages as one pipeline: each stage starts as soon as
the stages it needs have passed, builds at the lowest priority so that the runs
waiting on the wire keep their timing, and a stage whose inputs are
byte-identical to those of its last passing run is skipped. Ends with a table of
every stage: its wall time, the CPU time of its processes, and whether it ran,
was skipped, failed or could not start.

    python3 scripts/pipeline.py [--only STAGE]... [--rerun]

The stages, their needs and their inputs are in scripts/stages.py. Each stage's
output goes to build/pipeline/STAGE.log and is printed whole when it fails."""

import argparse
import hashlib
import os
import resource
import signal
import subprocess
import sys
import time
from pathlib import Path

import stages as stage_table

TOP = Path(__file__).resolve().parent.parent
STATE = TOP / "build" / "pipeline"
POLL_S = 0.5          # how often finished stages are looked for
LOG_TAIL_LINES = 200  # of a failed stage's output, shown in the terminal
# A build runs this nice: a run that waits on the wire must never wait for the
# compiler.
BUILD_NICENESS = 19


def digest_of(stage):
    """SHA-256 over the stage's command and the bytes of every input file, in
    a fixed order; None when an input is missing (the stage must run)."""
    sha = hashlib.sha256(repr(stage.command).encode())
    for path in stage.input_files(TOP):
        try:
            sha.update(str(path.relative_to(TOP)).encode() + b"\0")
            sha.update(path.read_bytes())
        except OSError:
            return None
    return sha.hexdigest()


class Running:
    def __init__(self, stage, process, log, started, digest):
        self.stage, self.process, self.log, self.started = stage, process, log, started
        self.digest = digest  # of the inputs as the stage found them


class Pipeline:
    def __init__(self, chosen, rerun):
        self.stages = {stage.name: stage for stage in chosen}
        self.rerun = rerun
        self.status = {}   # name -> "passed" | "skipped" | "failed" | "not run"
        self.wall = {}     # name -> seconds
        self.cpu = {}      # name -> seconds of user and system time
        self.detail = {}   # name -> a few words for the table
        self.running = {}  # name -> Running

    def ready(self, stage):
        return all(self.status.get(need) in ("passed", "skipped")
                   for need in stage.needs if need in self.stages)

    def blocked_by(self, stage):
        for need in stage.needs:
            if self.status.get(need) in ("failed", "not run"):
                return need
        return None

    def cores_in_use(self):
        return sum(running.stage.cores for running in self.running.values()
                   if not running.stage.build)

    def may_start(self, stage):
        """A build when no other builds (each takes every core); anything else
        when the cores it takes are free of other stages that are no builds."""
        if stage.build:
            return not any(running.stage.build for running in self.running.values())
        return (self.cores_in_use() + stage.cores <= os.cpu_count()
                or self.cores_in_use() == 0)

    def start(self, stage):
        digest = digest_of(stage) if stage.skippable else None
        stamp = STATE / f"{stage.name}.passed"
        if (digest is not None and not self.rerun and stamp.exists()
                and stamp.read_text() == digest):
            self.status[stage.name] = "skipped"
            self.wall[stage.name] = self.cpu[stage.name] = 0.0
            self.detail[stage.name] = "inputs as at its last pass"
            print(f"-- {stage.name}: skipped, its inputs are byte-identical to its last pass",
                  flush=True)
            return
        stamp.unlink(missing_ok=True)
        log = open(STATE / f"{stage.name}.log", "wb")
        niceness = BUILD_NICENESS if stage.build else stage.niceness
        print(f"-- {stage.name}: started" + (f" at niceness {niceness}" if niceness else ""),
              flush=True)
        process = subprocess.Popen(
            stage.command, cwd=TOP, stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, env={**os.environ, **stage.environment},
            preexec_fn=(lambda: os.nice(niceness)) if niceness else None,
            # A process group of its own, to be stopped whole, but not a
            # session: the kernel weighs each session's processes as one
            # group, and a build in a session of its own would take as much
            # of the cores as the runs however nice it is.
            process_group=0)
        self.running[stage.name] = Running(stage, process, log, time.monotonic(), digest)

    def reap(self):
        for name, running in list(self.running.items()):
            pid, status, usage = os.wait4(running.process.pid, os.WNOHANG)
            if pid == 0:
                continue
            running.log.close()
            code = os.waitstatus_to_exitcode(status)
            running.process.returncode = code
            self.wall[name] = time.monotonic() - running.started
            self.cpu[name] = usage.ru_utime + usage.ru_stime
            del self.running[name]
            log_path = STATE / f"{name}.log"
            self.detail[name] = running.stage.summary(log_path.read_text(errors="replace"))
            if code == 0:
                self.status[name] = "passed"
                if running.digest is not None:
                    (STATE / f"{name}.passed").write_text(running.digest)
                print(f"-- {name}: passed in {self.wall[name]:.0f} s", flush=True)
            else:
                self.status[name] = "failed"
                lines = log_path.read_text(errors="replace").splitlines()
                print(f"-- {name}: FAILED (exit {code}) after {self.wall[name]:.0f} s; "
                      f"the last lines of {log_path.relative_to(TOP)}:", flush=True)
                print("\n".join(lines[-LOG_TAIL_LINES:]), flush=True)

    def run(self):
        STATE.mkdir(parents=True, exist_ok=True)
        started = time.monotonic()
        cpu_before = resource.getrusage(resource.RUSAGE_CHILDREN)
        while len(self.status) < len(self.stages):
            for stage in self.stages.values():
                if stage.name in self.status or stage.name in self.running:
                    continue
                need = self.blocked_by(stage)
                if need is not None:
                    self.status[stage.name] = "not run"
                    self.wall[stage.name] = self.cpu[stage.name] = 0.0
                    self.detail[stage.name] = f"needs {need}"
                    continue
                if self.ready(stage) and self.may_start(stage):
                    self.start(stage)
            if len(self.status) < len(self.stages):
                time.sleep(POLL_S)
                self.reap()
        total_wall = time.monotonic() - started
        cpu_after = resource.getrusage(resource.RUSAGE_CHILDREN)
        total_cpu = (cpu_after.ru_utime + cpu_after.ru_stime
                     - cpu_before.ru_utime - cpu_before.ru_stime)
        self.print_table(total_wall, total_cpu)
        return all(self.status[name] in ("passed", "skipped") for name in self.stages)

    def print_table(self, total_wall, total_cpu):
        rows = [(name, self.wall[name], self.cpu[name], self.status[name], self.detail[name])
                for name in self.stages]
        width = max(len(name) for name in self.stages)
        print()
        print(f"{'stage':<{width}}  {'wall':>8}  {'CPU':>8}  {'result':<8}  what")
        for name, wall, cpu, status, detail in rows:
            print(f"{name:<{width}}  {clock(wall):>8}  {clock(cpu):>8}  {status:<8}  {detail}")
        print(f"{'all':<{width}}  {clock(total_wall):>8}  {clock(total_cpu):>8}")
        passed = sum(status in ("passed", "skipped") for _, _, _, status, _ in rows)
        print(f"stages: {passed} passed, {len(rows) - passed} failed")


def clock(seconds):
    minutes, rest = divmod(round(seconds), 60)
    return f"{minutes}:{rest:02d}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", action="append", default=[],
                        help="run this stage and what it needs (repeatable)")
    parser.add_argument("--rerun", action="store_true",
                        help="run every stage, even one whose inputs have not changed")
    options = parser.parse_args()
    everything = stage_table.stages(TOP)
    chosen = stage_table.with_needs(everything, options.only) if options.only else everything
    pipeline = Pipeline(chosen, options.rerun)

    def stop(signum, _frame):
        for running in pipeline.running.values():
            os.killpg(running.process.pid, signal.SIGTERM)
        sys.exit(128 + signum)

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    sys.exit(0 if pipeline.run() else 1)


if __name__ == "__main__":
    main()
