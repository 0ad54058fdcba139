"""The Windows program, ziron7-flasher.exe, run under Wine as an operator
runs it, against the simulated instrument on a virtual display with a window
manager: the same runs and judgements as the Linux program's
(test_operator_runs.py), from the normal update to the instrument left in
its bootloader; the session log is read from the prefix's local data folder.

The port: the Wine prefix maps COM1 (HKLM\\Software\\Wine\\Ports) to a link
in the output folder that each run points at the simulator's pseudo-terminal.
Wine's port waits need modem lines, which a pseudo-terminal lacks: the
test-only library ZIRON7_PTY_MODEM_LINES is preloaded to answer for them.

Environment: ZIRON7_WINDOWS_BUILD_DIR (the build with ziron7-flasher.exe),
ZIRON7_BUILD_DIR (the Linux build with ziron7-sim and the preload library),
ZIRON7_E2E_FIRMWARE, ZIRON7_E2E_OUT, ZIRON7_E2E_DOCS (as for the Linux runs;
the pictures are kept under windows-*.png)."""

import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

import operator_desktop
import test_operator_runs as linux_runs
from operator_desktop import (Flasher, Operator, SimulatedInstrument, VirtualDisplay,
                              wait_until)

WINDOWS_BUILD = Path(os.environ.get("ZIRON7_WINDOWS_BUILD_DIR", "build/windows")).resolve()
FLASHER_EXE = WINDOWS_BUILD / "app" / "ziron7-flasher.exe"
MODEM_LINES = linux_runs.BUILD / "tests" / "support" / "libziron7_pty_modem_lines.so"
OUT = Path(os.environ.get("ZIRON7_E2E_OUT", WINDOWS_BUILD / "e2e")).resolve()
PREFIX = OUT / "wine-prefix"
PORT_LINK = OUT / "com1"  # what COM1 names in the prefix
# The user data folder in the prefix (%LOCALAPPDATA%), where the session logs go.
USER_DATA = PREFIX / "drive_c" / "users" / os.environ.get("USER", "root") / "AppData" / "Local"
PREFIX_TIMEOUT_S = 120.0
PORT_DIALOG_SETTLE_S = 0.5  # the reply reaches the dialog a tick later
WINE_ENV = {
    "WINEPREFIX": str(PREFIX),
    "WINEDEBUG": "-all",
    # No .NET or HTML engine: their installers would be offered on first start.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}


def make_prefix():
    """A Wine prefix of the runs' own, COM1 mapped to PORT_LINK."""
    if (PREFIX / "system.reg").exists():
        return
    env = {**os.environ, **WINE_ENV}
    env.pop("DISPLAY", None)
    for command in (["wineboot", "-i"],
                    ["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM1",
                     "/d", str(PORT_LINK), "/f"],
                    ["wineserver", "-w"]):
        subprocess.run(command, env=env, check=True, timeout=PREFIX_TIMEOUT_S,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class WindowsOperator(Operator):
    """The operator of the Linux runs, who also photographs the port dialog
    once the instrument has answered, for the documentation."""

    def press_ok_once_found(self, timeout_s):
        wait_until(lambda: self.instrument.sent("^identify:"), timeout_s,
                   "identify reply from the instrument")
        port_dialog = wait_until(self.port_dialog, timeout_s, "port dialog")
        time.sleep(PORT_DIALOG_SETTLE_S)
        picture = self.display.screenshot(self.instrument.workdir / "port-dialog-found.png",
                                          port_dialog)
        linux_runs.copy_if_asked(picture, "port-dialog-found.png")
        return super().press_ok_once_found(timeout_s)


class WindowsOperatorRuns(linux_runs.OperatorRuns):
    # Runs whose subject is the protocol over a line with real timing, which
    # is the same code on both systems; the Linux runs cover them. The answer
    # No by Escape is Linux's: a Win32 Yes/No box has no Cancel button for
    # Escape to press (the Yes run, by Enter, covers the Windows box).
    LINUX_ONLY = {
        "test_replies_30_ms_late_update_to_success",
        "test_replies_sent_twice_update_to_success",
        "test_switch_back_lost_once_updates_to_success",
        "test_replies_in_16_ms_chunks_update_to_success",
        "test_bootloader_holding_zeros_where_an_echo_could_be_updates_to_success",
        "test_bootloader_holding_random_bytes_where_an_echo_could_be_updates_to_success",
        "test_eight_switches_lost_on_the_way_in_at_115200_update_to_success",
        "test_information_that_never_passes_its_checksum_ends_without_a_link_in_bounded_time",
        "test_instrument_left_in_its_bootloader_is_left_alone_when_the_operator_says_no",
    }

    @classmethod
    def setUpClass(cls):
        for needed in (FLASHER_EXE, linux_runs.SIM, MODEM_LINES):
            if not needed.exists():
                raise unittest.SkipTest(f"{needed} is not built")
        OUT.mkdir(parents=True, exist_ok=True)
        make_prefix()
        cls.display = VirtualDisplay(window_manager=True)
        cls.image = linux_runs.FIRMWARE.read_bytes()

    def setUp(self):
        if self._testMethodName in self.LINUX_ONLY:
            self.skipTest("run by the Linux program only")
        self.workdir = OUT / self.id().rsplit(".", 1)[1]
        shutil.rmtree(self.workdir, ignore_errors=True)
        self.workdir.mkdir(parents=True)
        self.instrument = None
        self.flasher = None

    def start(self, *sim_options):
        self.instrument = SimulatedInstrument(linux_runs.SIM, self.workdir, *sim_options)
        PORT_LINK.unlink(missing_ok=True)
        PORT_LINK.symlink_to(self.instrument.device_dir / "com1")
        # The prefix is shared: only this run's session log may be there.
        shutil.rmtree(USER_DATA / "ziron7", ignore_errors=True)
        self.flasher = Flasher(FLASHER_EXE, self.display.name, self.instrument.device_dir,
                               self.workdir, launcher=["wine"],
                               env={**WINE_ENV, "LD_PRELOAD": str(MODEM_LINES)})
        self.flasher.data_dir = USER_DATA
        return WindowsOperator(self.display, self.instrument)


def keep_windows_pictures():
    """The pictures go to the documentation under names of their own."""
    copy = operator_desktop.copy_if_asked

    def copy_windows(picture, name):
        copy(picture, "windows-" + name)

    linux_runs.copy_if_asked = copy_windows


keep_windows_pictures()

if __name__ == "__main__":
    unittest.main(verbosity=2)
