#!/usr/bin/env python3
"""Shows the whole update without a display: starts a virtual display and
the simulated instrument with older firmware, runs ziron7-flasher on them,
presses its keys as an operator would and saves a screenshot of every step.
scripts/run.sh uses it when there is no display."""

import argparse
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from operator_desktop import (Flasher, Operator, SimulatedInstrument,  # noqa: E402
                              VirtualDisplay, wait_until)

SEARCH_TIMEOUT_S = 30.0
UPDATE_TIMEOUT_S = 120.0  # the full image takes about 37 s
EXIT_TIMEOUT_S = 10.0
PROGRESS_PERIOD_S = 5.0  # between screenshots while writing


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, default=Path("build/default"))
    parser.add_argument("--baud", default="9600", help="the simulated instrument's rate")
    parser.add_argument("--out", type=Path, default=Path("build/default/demo"))
    args = parser.parse_args()
    out = args.out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    for earlier in out.glob("*.png"):  # of an earlier demonstration
        earlier.unlink()
    build = args.build.resolve()

    display = VirtualDisplay()
    with tempfile.TemporaryDirectory(prefix="ziron7-demo.") as private_dir:
        instrument = SimulatedInstrument(build / "sim" / "ziron7-sim", private_dir,
                                         "--baud", args.baud, "--firmware-date", "older")
        flasher = Flasher(build / "app" / "ziron7-flasher", display.name,
                          instrument.device_dir, private_dir)
        operator = Operator(display, instrument, flasher)
        try:
            wait_until(operator.port_dialog, SEARCH_TIMEOUT_S, "port dialog")
            wait_until(lambda: instrument.sent("^identify:"), SEARCH_TIMEOUT_S,
                       "instrument found")
            time.sleep(0.5)
            print("Port dialog: the instrument is found;",
                  display.screenshot(out / "1-found.png"))
            operator.press_ok_once_found(SEARCH_TIMEOUT_S)
            print("Pressed OK: the update dialog runs.")
            step = 2
            while operator.message_box() is None and flasher.process.poll() is None:
                time.sleep(PROGRESS_PERIOD_S)
                print("Updating:", display.screenshot(out / f"{step}-updating.png"))
                step += 1
            while True:
                ended_or_box = wait_until(
                    lambda: "ended" if flasher.process.poll() is not None
                    else operator.message_box(), UPDATE_TIMEOUT_S, "message box or the end")
                if ended_or_box == "ended":
                    break
                _, box = operator.acknowledge_box(EXIT_TIMEOUT_S, out / f"{step}-box.png")
                print("A message box, answered with Enter:", box)
                step += 1
            print("The updater has ended with code", flasher.process.returncode)
        finally:
            flasher.stop()
            instrument.stop()
            display.close()
    print("Stopped the simulated instrument. Screenshots are in", out)


if __name__ == "__main__":
    main()
