"""A person at the updater: a virtual display, the simulated instrument, the
program itself, and the keys an operator presses. Every wait is bounded and
every process started here is stopped again."""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

SCREEN_GEOMETRY = "1024x768x24"
# The window manager's settings: title bars without the window's icon, so
# that a picture of a box shows only what the program drew (Wine gives every
# window a red glass there).
WINDOW_MANAGER_CONFIG = """<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>LIMC</titleLayout></theme>
</openbox_config>
"""
START_TIMEOUT_S = 10.0  # for the display and the simulator to come up
POLL_PERIOD_S = 0.1  # how often a wait looks again
STOP_TIMEOUT_S = 5.0  # for a process to end after SIGTERM before SIGKILL
BOX_CAPTION = "^ziron7-flasher$"  # message boxes carry the program's name
DIALOG_CAPTION = "^Обновление программы Зирон-7"  # both dialogs carry it
# The port dialog is small; the update dialog is taller than this, in pixels.
UPDATE_DIALOG_MIN_HEIGHT = 200
OK_PRESSES = 5  # Enter on the port dialog, while OK may not yet be enabled
OK_EFFECT_TIMEOUT_S = 3.0  # for the port dialog to close after Enter on OK


class Timeout(AssertionError):
    pass


def wait_until(condition, timeout_s, what, explain=None):
    """Polls `condition` until it returns something true; fails after the
    time-out naming `what`, and what `explain()` says of the state then."""
    deadline = time.monotonic() + timeout_s
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            state = f": {explain()}" if explain else ""
            raise Timeout(f"no {what} within {timeout_s:.0f} s{state}")
        time.sleep(POLL_PERIOD_S)


def stop_process(process):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(STOP_TIMEOUT_S)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


@dataclass
class Window:
    id: str
    x: int
    y: int
    width: int
    height: int

    @property
    def crop(self):
        return f"{self.width}x{self.height}+{self.x}+{self.y}"


class VirtualDisplay:
    """An X server of its own, on a free display number; with
    `window_manager`, openbox manages its windows (Wine's message boxes take
    keys reliably only under one)."""

    def __init__(self, window_manager=False):
        read_end, write_end = os.pipe()
        self._server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN_GEOMETRY,
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + START_TIMEOUT_S
        os.set_blocking(read_end, False)
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or self._server.poll() is not None:
                os.close(read_end)
                stop_process(self._server)
                raise Timeout("virtual display did not start")
            try:
                number += os.read(read_end, 16)
            except BlockingIOError:
                time.sleep(POLL_PERIOD_S)
        os.close(read_end)
        self.name = ":" + number.decode().strip()
        self._manager = None
        if window_manager:
            self._manager_config = tempfile.NamedTemporaryFile("w", suffix=".xml")
            self._manager_config.write(WINDOW_MANAGER_CONFIG)
            self._manager_config.flush()
            self._manager = subprocess.Popen(
                ["openbox", "--config-file", self._manager_config.name],
                env={**os.environ, "DISPLAY": self.name},
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        if self._manager is not None:
            stop_process(self._manager)
            self._manager_config.close()
        stop_process(self._server)

    def _run_xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.name},
                              capture_output=True, text=True, timeout=START_TIMEOUT_S)

    def _xdotool(self, *args):
        result = self._run_xdotool(*args)
        return result.stdout if result.returncode == 0 else ""

    def windows(self, caption):
        """The visible windows whose caption matches `caption` (a regex)."""
        found = []
        for window_id in self._xdotool("search", "--onlyvisible", "--name", caption).split():
            place = self._place(window_id)
            if place:
                found.append(Window(window_id, *place))
        # Helper windows of the toolkit are a few pixels wide.
        return [w for w in found if w.width > 50 and w.height > 50]

    def _place(self, window_id):
        """Where the window's own area lies on the screen, and its size; None
        when it has gone. (xdotool counts a window manager's frame twice.)"""
        result = subprocess.run(["xwininfo", "-id", window_id],
                                env={**os.environ, "DISPLAY": self.name},
                                capture_output=True, text=True, timeout=START_TIMEOUT_S)
        if result.returncode != 0:
            return None
        fields = dict(line.strip().split(":", 1) for line in result.stdout.splitlines()
                      if ":" in line)
        try:
            return tuple(int(fields[name]) for name in ("Absolute upper-left X",
                                                        "Absolute upper-left Y",
                                                        "Width", "Height"))
        except (KeyError, ValueError):
            return None

    def press(self, window, key, hold_s=0.0):
        """Types `key` ("Return", "Escape") as a keyboard would (not sent to
        the window), into `window` once it has the focus, holding it down for
        `hold_s` seconds (the keyboard repeats it meanwhile); False when the
        window has gone, so that the key never lands in whatever came next."""
        if self._run_xdotool("windowfocus", "--sync", window.id).returncode != 0:
            return False
        if hold_s > 0:
            self._xdotool("keydown", key)
            time.sleep(hold_s)
            self._xdotool("keyup", key)
        else:
            self._xdotool("key", key)
        return True

    def click(self, window, fx, fy):
        """Clicks the left button at the fractions `fx`, `fy` of `window`'s
        width and height, as a person clicks into a control there."""
        self._xdotool("mousemove", "--window", window.id, str(int(window.width * fx)),
                      str(int(window.height * fy)), "click", "1")

    def screenshot(self, path, window=None):
        """The whole screen, or the part that `window` covers (with whatever
        lies on top of it)."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        whole = path.with_suffix(".screen.png")
        subprocess.run(["import", "-display", self.name, "-window", "root", str(whole)],
                       check=True, timeout=START_TIMEOUT_S)
        if window is None:
            whole.rename(path)
        else:
            subprocess.run(["convert", str(whole), "-crop", window.crop, "+repage", str(path)],
                           check=True, timeout=START_TIMEOUT_S)
            whole.unlink()
        return path


def reddish_pixels(path):
    """How many pixels of the picture are plainly red: the stop icon."""
    result = subprocess.run(
        ["convert", str(path), "-fx", "r > 0.6 && g < 0.4 && b < 0.4 ? 1 : 0",
         "-format", "%[fx:mean*w*h]", "info:"],
        capture_output=True, text=True, check=True, timeout=START_TIMEOUT_S)
    return round(float(result.stdout))


class SimulatedInstrument:
    """ziron7-sim as COM1 (or COM`com`) in a private device namespace (or in
    `device_dir`, which several may share), with a transcript and a flash
    file."""

    def __init__(self, program, workdir, *options, com=1, device_dir=None):
        self.workdir = Path(workdir)
        self.device_dir = Path(device_dir) if device_dir else self.workdir / "devices"
        self.transcript = self.workdir / "transcript.jsonl"
        self.flash = self.workdir / "flash.bin"
        self.device_dir.mkdir(parents=True, exist_ok=True)
        self._output = open(self.workdir / "sim.out", "w")
        self._process = subprocess.Popen(
            [program, "--com", str(com), "--transcript", str(self.transcript), "--flash",
             str(self.flash), *options],
            env={**os.environ, "ZIRON7_DEVICE_DIR": str(self.device_dir)},
            stdout=self._output, stderr=subprocess.STDOUT)
        wait_until(lambda: f"ready COM{com}" in (self.workdir / "sim.out").read_text()
                   or self._process.poll() is not None, START_TIMEOUT_S, "simulator start")
        if self._process.poll() is not None:
            raise AssertionError("simulator ended: " + (self.workdir / "sim.out").read_text())

    def frames(self):
        if not self.transcript.exists():
            return []
        lines = self.transcript.read_text().splitlines()
        # The last line may still be being written.
        frames = []
        for line in lines:
            try:
                frames.append(json.loads(line))
            except json.JSONDecodeError:
                pass
        return frames

    def received(self, meaning_pattern):
        return [f for f in self.frames()
                if f["dir"] == "in" and re.search(meaning_pattern, f["meaning"])]

    def sent(self, meaning_pattern):
        return [f for f in self.frames()
                if f["dir"] == "out" and re.search(meaning_pattern, f["meaning"])]

    def flash_bytes(self):
        return self.flash.read_bytes()

    def stop(self):
        stop_process(self._process)
        self._output.close()


class Flasher:
    """The program as the operator starts it: no arguments unless
    `arguments` gives some (`--fast`). Its user data folder is the work
    folder's "data", so its session logs land there, and its settings folder
    the work folder's "config", so the port it remembers stays out of the
    user's own settings.
    `launcher` comes in front of it (["wine"] for the Windows program), `env`
    adds to the environment."""

    def __init__(self, program, display, device_dir, workdir, launcher=(), env=None,
                 arguments=()):
        self._output = open(Path(workdir) / "flasher.out", "w")
        self.data_dir = Path(workdir) / "data"
        self.process = subprocess.Popen(
            [*launcher, str(program), *arguments],
            env={**os.environ, "DISPLAY": display, "ZIRON7_DEVICE_DIR": str(device_dir),
                 "QT_QPA_PLATFORM": "xcb", "XDG_DATA_HOME": str(self.data_dir),
                 "XDG_CONFIG_HOME": str(Path(workdir) / "config"), **(env or {})},
            stdout=self._output, stderr=subprocess.STDOUT, cwd=workdir)

    def session_logs(self):
        """The session logs the program left, oldest first."""
        return sorted((self.data_dir / "ziron7" / "logs").glob("*.log"))

    def wait_exit(self, timeout_s):
        try:
            return self.process.wait(timeout_s)
        except subprocess.TimeoutExpired:
            raise Timeout(f"program still running {timeout_s:.0f} s after the last box")

    def cpu_seconds(self):
        """User and system time so far, from the kernel's accounting."""
        fields = Path(f"/proc/{self.process.pid}/stat").read_text().rsplit(")", 1)[1].split()
        ticks = int(fields[11]) + int(fields[12])
        return ticks / os.sysconf("SC_CLK_TCK")

    def state(self):
        """Whether the program still runs, and the last line it printed."""
        status = self.process.poll()
        lines = Path(self._output.name).read_text(errors="replace").splitlines()
        said = f", its last line: {lines[-1]!r}" if lines else ", nothing printed"
        running = "is running" if status is None else f"has ended with status {status}"
        return f"the program {running}{said}"

    def stop(self):
        stop_process(self.process)
        self._output.close()


class Operator:
    """What a person does at the updater's windows."""

    def __init__(self, display, instrument, flasher):
        self.display = display
        self.instrument = instrument
        self.flasher = flasher

    def state(self):
        """What the instrument heard and what the program did, for a wait
        that timed out."""
        frames = self.instrument.received("")
        heard = (f"{len(frames)} frames, the last {frames[-1]['meaning']!r} at "
                 f"{frames[-1]['rate']} baud" if frames else "no frame")
        return f"the instrument heard {heard}; {self.flasher.state()}"

    def port_dialog(self):
        dialogs = [w for w in self.display.windows(DIALOG_CAPTION)
                   if w.height < UPDATE_DIALOG_MIN_HEIGHT]
        return dialogs[0] if dialogs else None

    def update_dialog(self):
        dialogs = [w for w in self.display.windows(DIALOG_CAPTION)
                   if w.height >= UPDATE_DIALOG_MIN_HEIGHT]
        return dialogs[0] if dialogs else None

    def message_box(self):
        boxes = self.display.windows(BOX_CAPTION)
        return boxes[0] if boxes else None

    def press_ok_once_found(self, timeout_s):
        """Waits until the instrument has answered the search (OK is then
        enabled), and presses Enter, the default button, until the update
        dialog opens."""
        wait_until(lambda: self.instrument.sent("^identify:"), timeout_s,
                   "identify reply from the instrument", self.state)
        port_dialog = wait_until(self.port_dialog, timeout_s, "port dialog", self.state)
        time.sleep(0.5)  # the reply reaches the dialog a tick later
        for _ in range(OK_PRESSES):
            # Pressed again only while the port dialog is still up: an Enter
            # in the update dialog would press "Выход".
            if self.port_dialog() is None or not self.display.press(port_dialog, "Return"):
                break
            try:
                wait_until(lambda: self.port_dialog() is None, OK_EFFECT_TIMEOUT_S,
                           "port dialog to close")
                break
            except Timeout:
                pass
        return wait_until(self.update_dialog, timeout_s, "update dialog after pressing OK")

    def acknowledge_box(self, timeout_s, screenshot=None, under=None, key="Return"):
        """Waits for a message box, optionally photographs it (over the
        window `under`), presses `key` on it (Enter: the default button;
        Escape: No in a Yes/No box) and waits until it has gone."""
        box = wait_until(self.message_box, timeout_s, "message box")
        time.sleep(0.3)  # let it paint
        picture = None
        if screenshot is not None:
            picture = self.display.screenshot(screenshot, under or box)
        self.display.press(box, key)
        wait_until(lambda: not any(w.id == box.id for w in self.display.windows(BOX_CAPTION)),
                   START_TIMEOUT_S, "box to close")
        return box, picture


def copy_if_asked(picture, name):
    """Keeps a screenshot for the documentation when ZIRON7_E2E_DOCS names a
    folder."""
    docs = os.environ.get("ZIRON7_E2E_DOCS")
    if docs and picture is not None:
        shutil.copyfile(picture, Path(docs) / name)
