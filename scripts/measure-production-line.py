#!/usr/bin/env python3
"""A production line against a single update on this machine: first one
ziron7-cli updates one simulated instrument, then one ziron7-cli updates
COUNT (default 8) simulated instruments at once, each ziron7-sim on a
pseudo-terminal of its own (as tests/e2e starts them), all fresh, with the
embedded image unless --image names a file. Prints each port's seconds
(the JSON result's wall_time_ms: the port's run from its start to its
outcome), the single run's, how far the slowest port is from the single
run, and the CPU time (user + system) of each ziron7-cli process. Not a
test: it asserts nothing and takes a little longer than two updates.

    python3 scripts/measure-production-line.py [--count N] [--image FILE]

Uses ZIRON7_BUILD_DIR (default build/default), which must hold ziron7-cli
and ziron7-sim."""

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from operator_desktop import SimulatedInstrument  # noqa: E402

BUILD = Path(os.environ.get("ZIRON7_BUILD_DIR", "build/default")).resolve()
CLI = BUILD / "app" / "cli" / "ziron7-cli"
SIM = BUILD / "sim" / "ziron7-sim"
RUN_TIMEOUT_S = 300.0  # a whole update of the embedded image takes about 37 s


def children_cpu_s():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_line(workdir, count, image):
    """Starts `count` fresh instruments, updates them with one process and
    stops them; returns the results, the process's wall and CPU seconds."""
    device_dir = workdir / "devices"
    instruments = []
    try:
        for com in range(1, count + 1):
            folder = workdir / f"com{com}"
            folder.mkdir(parents=True)
            instruments.append(SimulatedInstrument(SIM, folder, "--serial", str(1000 + com), com=com,
                                                   device_dir=device_dir))
        arguments = [str(CLI), "update", "--json", "-q"]
        for com in range(1, count + 1):
            arguments += ["--port", f"COM{com}"]
        if image:
            arguments += ["--image", str(image)]
        environment = {**os.environ, "LANG": "C.UTF-8", "ZIRON7_DEVICE_DIR": str(device_dir),
                       "XDG_DATA_HOME": str(workdir / "data")}
        cpu_before = children_cpu_s()
        started = time.monotonic()
        process = subprocess.run(arguments, env=environment, capture_output=True, timeout=RUN_TIMEOUT_S)
        wall_s = time.monotonic() - started
        # The simulators are still running: only ziron7-cli has been reaped.
        cpu_s = children_cpu_s() - cpu_before
    finally:
        for instrument in instruments:
            instrument.stop()
    results = [json.loads(line) for line in process.stdout.decode("utf-8").splitlines()]
    return process.returncode, results, wall_s, cpu_s


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--count", type=int, default=8)
    parser.add_argument("--image", type=Path)
    options = parser.parse_args()
    for program in (CLI, SIM):
        if not program.exists():
            sys.exit(f"{program} is not built")
    with tempfile.TemporaryDirectory(prefix="ziron7-line-") as folder:
        code, single, single_wall_s, single_cpu_s = run_line(Path(folder) / "single", 1, options.image)
        line_code, line, line_wall_s, line_cpu_s = run_line(Path(folder) / "line", options.count,
                                                            options.image)
    # A port that never reached its line (it did not open) has no run time.
    if "wall_time_ms" not in single[0]:
        sys.exit(f"the single update did not run: {single[0]['code']}, exit code {code}")
    single_s = single[0]["wall_time_ms"] / 1000.0
    print(f"single update: COM1 {single_s:.1f} s ({single[0]['code']}), process {single_wall_s:.1f} s, "
          f"CPU {single_cpu_s:.2f} s, exit code {code}")
    print(f"{options.count} at once, one process: {line_wall_s:.1f} s, CPU {line_cpu_s:.2f} s, "
          f"exit code {line_code}")
    timed = [result for result in line if "wall_time_ms" in result]
    for result in line:
        if "wall_time_ms" not in result:
            print(f"  {result['port']}: did not run, {result['code']}")
            continue
        seconds = result["wall_time_ms"] / 1000.0
        print(f"  {result['port']}: {seconds:.1f} s ({(seconds / single_s - 1) * 100:+.1f} % against the single "
              f"update), {result['code']}")
    if timed:
        slowest = max(result["wall_time_ms"] for result in timed) / 1000.0
        print(f"slowest port: {slowest:.1f} s, {(slowest / single_s - 1) * 100:+.1f} % against the single update")

if __name__ == "__main__":
    main()
