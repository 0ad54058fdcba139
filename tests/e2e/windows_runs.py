"""The Windows program, ziron7-flasher.exe, run under Wine as an operator
runs it, against the simulated instrument on a virtual display with a window
manager: the same runs and judgements as the Linux program's
(test_operator_runs.py), from the normal update to the instrument left in
its bootloader; the session log is read from the prefix's local data folder.
Runs of its own: the port dialog at 96 and at 144 DPI (and the port it
remembers in the user's settings), the port left by a terminal program with
XON/XOFF and with RTS/CTS flow control on, and a box raised while another
program's window has the focus.

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
# Made once, copied into each OUT's prefix (several shards run side by side).
TEMPLATE = Path(os.environ.get("ZIRON7_WINE_TEMPLATE", WINDOWS_BUILD / "wine-template")).resolve()
PORT_LINK = OUT / "com1"  # what COM1 names in the prefix
# COM2 and COM3 name links beside it, for the console program's production line.
LINE_PORT_LINKS = {com: OUT / f"com{com}" for com in (1, 2, 3)}
# The user data folder in the prefix (%LOCALAPPDATA%), where the session logs go.
USER_DATA = PREFIX / "drive_c" / "users" / os.environ.get("USER", "root") / "AppData" / "Local"
PREFIX_TIMEOUT_S = 120.0
OTHER_PROGRAM = "another-program"  # the caption of a window that takes the focus
PORT_DIALOG_SETTLE_S = 0.5  # the reply reaches the dialog a tick later
WINE_ENV = {
    "WINEPREFIX": str(PREFIX),
    "WINEDEBUG": "-all",
    # No .NET or HTML engine: their installers would be offered on first start.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
}


def wine(commands, prefix, display=None):
    """Runs Wine's `commands` one after another in `prefix`, on `display` or
    without one."""
    env = {**os.environ, **WINE_ENV, "WINEPREFIX": str(prefix)}
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    for command in commands:
        subprocess.run(command, env=env, check=True, timeout=PREFIX_TIMEOUT_S,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_template():
    """The Wine prefix every run's prefix is copied from: made once, as
    `wineboot` takes far longer than a copy."""
    if not (TEMPLATE / "system.reg").exists():
        shutil.rmtree(TEMPLATE, ignore_errors=True)
        wine([["wineboot", "-i"], ["wineserver", "-w"]], TEMPLATE)


def make_prefix():
    """A Wine prefix of the runs' own, copied from the template, COM1 mapped
    to PORT_LINK and COM2, COM3 to the links beside it."""
    if not (PREFIX / "system.reg").exists():
        make_template()
        shutil.rmtree(PREFIX, ignore_errors=True)
        shutil.copytree(TEMPLATE, PREFIX, symlinks=True)
    # A prefix made before COM2 and COM3 were mapped gets them too.
    registry = (PREFIX / "system.reg").read_text(errors="replace")
    missing = [(com, link) for com, link in LINE_PORT_LINKS.items()
               if f'"COM{com}"="{link}"' not in registry]
    if missing:
        wine([*[["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{com}",
                 "/d", str(link), "/f"] for com, link in missing], ["wineserver", "-w"]], PREFIX)


def keep_server(display=None):
    """Keeps the prefix's wineserver running from now on, with Wine's own
    services and desktop on `display` (none: without one). Without it, a
    program started under Wine when the last one has ended starts the server
    and the services anew: 1.8 s on an idle machine against 0.2 s, and
    several seconds on a loaded one, for every run. The services are started
    here, by a program of no consequence: started by a run, they would hold
    on to its output, and the run would not end for whoever reads it."""
    wine([["wineserver", "-p"], ["wine", "cmd", "/c", "exit"]], PREFIX, display)


def end_server():
    """Ends the kept server and every program still running in the prefix;
    the registry goes to disk."""
    env = {**os.environ, **WINE_ENV}
    subprocess.run(["wineserver", "-k"], env=env, timeout=PREFIX_TIMEOUT_S,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, timeout=PREFIX_TIMEOUT_S,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def set_dpi(dpi):
    """The DPI Wine gives the programs started from now on (the kept server
    holds the registry, so they read it at once)."""
    wine([["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
           "/t", "REG_DWORD", "/d", str(dpi), "/f"]], PREFIX)


class WindowsOperator(Operator):
    """The operator of the Linux runs, who also photographs the port dialog
    once the instrument has answered, for the documentation."""

    def press_ok_once_found(self, timeout_s):
        wait_until(lambda: self.instrument.sent("^identify:"), timeout_s,
                   "identify reply from the instrument", self.state)
        port_dialog = wait_until(self.port_dialog, timeout_s, "port dialog", self.state)
        time.sleep(PORT_DIALOG_SETTLE_S)
        picture = self.display.screenshot(self.instrument.workdir / "port-dialog-found.png",
                                          port_dialog)
        linux_runs.copy_if_asked(picture, "port-dialog-found.png")
        return super().press_ok_once_found(timeout_s)


class WindowsOperatorRuns(linux_runs.OperatorRuns):
    # Runs whose subject is the protocol over a line with real timing, which
    # is the same code on both systems; the Linux runs cover them (and the
    # simulated runs the other faulted lines). The answer
    # No by Escape is Linux's: a Win32 Yes/No box has no Cancel button for
    # Escape to press (the Yes run, by Enter, covers the Windows box).
    LINUX_ONLY = {
        "test_replies_in_16_ms_chunks_update_to_success",
        "test_an_echoing_line_updates_to_success",
        "test_information_replies_700_ms_late_update_to_success",
        "test_a_main_program_slow_to_start_after_the_switch_back_updates_to_success",
        "test_stale_bytes_in_the_input_at_open_update_to_success",
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
        keep_server(cls.display.name)
        cls.image = linux_runs.FIRMWARE.read_bytes()

    @classmethod
    def tearDownClass(cls):
        end_server()
        super().tearDownClass()

    def setUp(self):
        if self._testMethodName in self.LINUX_ONLY:
            self.skipTest("run by the Linux program only")
        self.workdir = OUT / self.id().rsplit(".", 1)[1]
        shutil.rmtree(self.workdir, ignore_errors=True)
        self.workdir.mkdir(parents=True)
        self.instrument = None
        self.flasher = None
        self.left_by_a_terminal = ()  # stty settings the port has before the program opens it

    def tearDown(self):
        super().tearDown()
        # The prefix is shared, so the next run would wipe this run's session
        # logs: they stay with the run's other files.
        logs = USER_DATA / "ziron7" / "logs"
        if logs.is_dir():
            shutil.copytree(logs, self.workdir / "logs", dirs_exist_ok=True)

    def start(self, *sim_options, arguments=()):
        self.instrument = SimulatedInstrument(linux_runs.SIM, self.workdir, *sim_options)
        if self.left_by_a_terminal:
            # Wine reads the pseudo-terminal's settings as the port's state.
            subprocess.run(["stty", "-F", str(self.instrument.device_dir / "com1"),
                            *self.left_by_a_terminal], check=True)
        PORT_LINK.unlink(missing_ok=True)
        PORT_LINK.symlink_to(self.instrument.device_dir / "com1")
        # The prefix is shared: only this run's session log may be there.
        shutil.rmtree(USER_DATA / "ziron7", ignore_errors=True)
        self.flasher = Flasher(FLASHER_EXE, self.display.name, self.instrument.device_dir,
                               self.workdir, launcher=["wine"],
                               env={**WINE_ENV, "LD_PRELOAD": str(MODEM_LINES)},
                               arguments=arguments)
        self.flasher.data_dir = USER_DATA
        return WindowsOperator(self.display, self.instrument, self.flasher)


    # --- A port a terminal program used last: Windows keeps its line state. ---

    def test_port_left_with_xon_xoff_by_a_terminal_updates_to_success(self):
        # A Windows driver has no line editing or echo to leave behind; the
        # Linux tests add those (LineLeftByATerminal).
        self.left_by_a_terminal = ("ixon", "ixoff")
        self.update_to_success("--baud", "9600")

    def test_port_left_with_rts_cts_by_a_terminal_updates_to_success(self):
        self.left_by_a_terminal = ("crtscts",)
        self.update_to_success("--baud", "9600")


    # --- The dialogs at 144 DPI (150 %), as Wine reads the DPI from its registry. ---

    def port_dialog_at(self, dpi):
        """The port dialog once the instrument has answered, at `dpi`, photographed."""
        set_dpi(dpi)
        operator = self.start("--baud", "9600")
        wait_until(lambda: self.instrument.sent("^identify:"), linux_runs.SEARCH_TIMEOUT_S,
                   "instrument found")
        dialog = wait_until(operator.port_dialog, linux_runs.SEARCH_TIMEOUT_S, "port dialog")
        time.sleep(PORT_DIALOG_SETTLE_S)
        picture = self.display.screenshot(self.workdir / f"port-dialog-{dpi}dpi.png", dialog)
        linux_runs.copy_if_asked(picture, f"port-dialog-{dpi}dpi.png")
        self.display.press(dialog, "Escape")  # Esc is "Выход"
        self.assertEqual(self.flasher.wait_exit(linux_runs.EXIT_TIMEOUT_S), 0)
        # The port where the instrument answered, for the next start.
        self.assertEqual((USER_DATA / "ziron7" / "settings.ini").read_text(), "last_port=COM1\n")
        self.flasher = None
        self.instrument.stop()
        self.instrument = None
        return dialog

    def test_dialogs_grow_with_the_dpi(self):
        try:
            at_96 = self.port_dialog_at(96)
            at_144 = self.port_dialog_at(144)
        finally:
            set_dpi(96)
        # Laid out in dialog units of a font that grows with the DPI.
        for size_96, size_144 in ((at_96.width, at_144.width), (at_96.height, at_144.height)):
            self.assertGreater(size_144, size_96 * 1.3)

    # --- A box while the operator works in another program. ---

    def test_box_raised_while_another_window_has_the_focus_belongs_to_the_dialog(self):
        # The line hangs up while writing, with another program's window in
        # front: the box must still be the update dialog's own (Windows keeps
        # an owned box above its owner and shows no taskbar button of its
        # own), or the operator would see a frozen dialog.
        operator = self.start("--baud", "19200",
                              "--hangup-after", str(linux_runs.HANGUP_AFTER_FRAMES))
        dialog = operator.press_ok_once_found(linux_runs.SEARCH_TIMEOUT_S)
        wait_until(lambda: self.instrument.received("program page"),
                   linux_runs.FULL_UPDATE_TIMEOUT_S, "writing")
        env = {**os.environ, "DISPLAY": self.display.name}
        other = subprocess.Popen(["xmessage", "-title", OTHER_PROGRAM, "another program"],
                                 env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            window = wait_until(lambda: self.display.windows(f"^{OTHER_PROGRAM}$"),
                                linux_runs.EXIT_TIMEOUT_S, "the other program's window")[0]
            subprocess.run(["xdotool", "windowactivate", "--sync", window.id], env=env,
                           check=True, timeout=linux_runs.EXIT_TIMEOUT_S)
            box = wait_until(operator.message_box, linux_runs.WATCHDOG_TIMEOUT_S, "the box")
            owner = subprocess.run(["xprop", "-id", box.id, "WM_TRANSIENT_FOR"], env=env,
                                   capture_output=True, text=True, check=True).stdout
            self.assertIn("window id #", owner, "the box has an owner")
            self.assertEqual(int(owner.rsplit("#", 1)[1], 16), int(dialog.id),
                             "the update dialog owns the box")
        finally:
            operator_desktop.stop_process(other)
        operator.acknowledge_box(linux_runs.EXIT_TIMEOUT_S)  # no link
        operator.acknowledge_box(linux_runs.EXIT_TIMEOUT_S)  # the warning
        self.assertEqual(self.flasher.wait_exit(linux_runs.EXIT_TIMEOUT_S), 0)


def keep_windows_pictures():
    """The pictures go to the documentation under names of their own."""
    copy = operator_desktop.copy_if_asked

    def copy_windows(picture, name):
        copy(picture, "windows-" + name)

    linux_runs.copy_if_asked = copy_windows


keep_windows_pictures()

if __name__ == "__main__":
    unittest.main(verbosity=2)
