"""Runs end-to-end test modules side by side in shards: each shard is a process
of its own with its own output folder (and so its own virtual display, device
folders, user folders and, for the Windows runs, Wine prefix), and runs its
share of the tests one after another. The runs wait on the wire, not on the
processor, so shards overlap their waiting.

    python3 tests/e2e/shards.py --shards K --out DIR MODULE...

Tests are dealt to the shards longest first, by the durations the last run
recorded in DIR/durations.json (an unknown test counts as a whole update), so
the shards end close together. The output of shard i is DIR/shard-i/shard.log,
printed when the shard fails. Exit status 0 when every shard passed.

The Windows modules copy each shard's Wine prefix from one template, made once
before the shards start (windows_runs.make_template)."""

import argparse
import json
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
UNKNOWN_DURATION_S = 40.0  # a test never timed counts as one whole update
SHARD_LOG_TAIL_LINES = 150


def test_ids(modules):
    loader = unittest.TestLoader()
    ids = []

    def flatten(suite):
        for item in suite:
            if isinstance(item, unittest.TestSuite):
                flatten(item)
            else:
                ids.append(item.id())

    for module in modules:
        flatten(loader.loadTestsFromName(module))
    return ids


def deal(ids, durations, shards):
    """The ids in `shards` lists of about equal expected time: longest first,
    each to the shard that ends soonest so far."""
    loads = [[0.0, []] for _ in range(shards)]
    for test in sorted(ids, key=lambda t: (-durations.get(t, UNKNOWN_DURATION_S), t)):
        lightest = min(loads, key=lambda load: load[0])
        lightest[0] += durations.get(test, UNKNOWN_DURATION_S)
        lightest[1].append(test)
    return [tests for _, tests in loads if tests]


class TimedResult(unittest.TextTestResult):
    """Keeps each test's wall time for the next run's dealing."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.durations = {}
        self._started = {}

    def startTest(self, test):
        self._started[test.id()] = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.durations[test.id()] = time.monotonic() - self._started.pop(test.id())


def run_child(ids, out):
    """One shard: its tests in this process, one after another."""
    suite = unittest.TestSuite(unittest.TestLoader().loadTestsFromName(test) for test in ids)
    runner = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult, stream=sys.stdout)
    result = runner.run(suite)
    (Path(out) / "durations.json").write_text(json.dumps(result.durations, indent=1))
    return 0 if result.wasSuccessful() else 1


def run_shards(modules, shards, out):
    out = Path(out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    known = out / "durations.json"
    durations = json.loads(known.read_text()) if known.exists() else {}
    ids = test_ids(modules)
    if any(module.startswith("windows") for module in modules):
        import windows_runs
        windows_runs.make_template()
    groups = deal(ids, durations, shards)
    print(f"{len(ids)} tests in {len(groups)} shards", flush=True)
    children = []
    for index, group in enumerate(groups, 1):
        folder = out / f"shard-{index}"
        folder.mkdir(exist_ok=True)
        log = open(folder / "shard.log", "w")
        env = {**os.environ, "ZIRON7_E2E_OUT": str(folder),
               "PYTHONPATH": os.pathsep.join(filter(None, [str(HERE),
                                                          os.environ.get("PYTHONPATH")]))}
        process = subprocess.Popen([sys.executable, __file__, "--child", str(folder), *group],
                                   env=env, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
        children.append((index, folder, log, process, len(group)))
    failed = 0
    for index, folder, log, process, count in children:
        code = process.wait()
        log.close()
        text = (folder / "shard.log").read_text(errors="replace")
        summary = [line for line in text.splitlines()
                   if line.startswith(("Ran ", "OK", "FAILED"))]
        print(f"shard {index} ({count} tests): {' '.join(summary[-2:]) or 'no summary'}")
        if code != 0:
            failed += 1
            print("\n".join(text.splitlines()[-SHARD_LOG_TAIL_LINES:]))
        timed = folder / "durations.json"
        if timed.exists():
            durations.update(json.loads(timed.read_text()))
    known.write_text(json.dumps(durations, indent=1, sort_keys=True))
    print(f"{len(children) - failed} passed, {failed} failed (shards)")
    return 0 if failed == 0 else 1


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        sys.exit(run_child(sys.argv[3:], sys.argv[2]))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--shards", type=int, required=True)
    parser.add_argument("--out", required=True, help="the shards' folders go here")
    parser.add_argument("modules", nargs="+")
    options = parser.parse_args()
    sys.path.insert(0, str(HERE))
    sys.exit(run_shards(options.modules, options.shards, options.out))


if __name__ == "__main__":
    main()
