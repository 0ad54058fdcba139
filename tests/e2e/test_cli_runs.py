"""ziron7-cli against the simulated instrument, as a script at a service
centre runs it: no display, no person. A whole update in text and in JSON,
a fast update with `--fast`, later firmware refused, nothing on the port,
a device of another type and a loopback plug, a line that falls silent
mid-write, an instrument found in its bootloader and one whose bootloader
never leaves, a verification that keeps failing, verify
of a good and of a corrupted flash, a bad image file (nothing sent), a port
the user may not open (run without root's right to override file modes), Ctrl+C
mid-write and SIGTERM, two instruments updated at once by two processes,
and three ports by one process (a production line, one of them a foreign
device), with every port present (--all) in JSON lines, SIGTERM ending
every port of a line,
ports named by their device path or a stable link to it, and the JSON of
every outcome checked by a JSON parser, and the line diagnosis of a silent,
an echoing, a foreign, a 16 ms-burst, a missing and a busy line. Results go to stdout, the account of
the run to stderr; the runs speak English (LANG=C.UTF-8) unless a test asks
for Russian.

Environment: ZIRON7_BUILD_DIR (the build with ziron7-cli and ziron7-sim),
ZIRON7_E2E_FIRMWARE (the image the program carries), ZIRON7_E2E_OUT (where
the runs' files go)."""

import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import threading
import time
import unittest
from pathlib import Path, PureWindowsPath

from operator_desktop import SimulatedInstrument, wait_until
from session_log import FALLBACK_MARK, VERIFIED_OUTCOME, SessionLog

BUILD = Path(os.environ.get("ZIRON7_BUILD_DIR", "build/default")).resolve()
CLI = BUILD / "app" / "cli" / "ziron7-cli"
SIM = BUILD / "sim" / "ziron7-sim"
FIRMWARE = Path(os.environ.get("ZIRON7_E2E_FIRMWARE",
                               "res/firmware/standin-firmware.bin")).resolve()
OUT = Path(os.environ.get("ZIRON7_E2E_OUT", BUILD / "e2e")).resolve() / "cli"

PAGE_END_BITS = 0xFF  # the last page written is filled up to E = size | 0xFF
FULL_UPDATE_TIMEOUT_S = 120.0  # the embedded image takes about 37 s
SMALL_UPDATE_TIMEOUT_S = 60.0  # the small image: a few seconds per pass
SMALL_IMAGE_SIZE = 4096  # 16 pages: a pass of a few seconds
WRITE_FRAMES = r"load half|program page|finish"
SUCCEEDED = "Обновление микропрограммы прошло УСПЕШНО"
NOT_COMPLETED_WARNING = ["ВНИМАНИЕ!", "Обновление программы не было завершено",
                         "Для работы прибора необходимо повторить операцию"]
# The simulator's instrument unless told otherwise.
SIM_SERIAL = 12345
# What a fast run writes at its start.
FAST_PACE_LINE = "Быстрый обмен: запись и проверка без паузы между кадрами"
# Where the instrument stands, as the program's account and the JSON's
# "instrument" say it.
PARTLY_WRITTEN = "in its bootloader with the flash partly written: repeat the update"
LEFT_UNWRITTEN = "in its bootloader, nothing was written: switch the source off, then see readme.txt"
ON_ITS_WAY_BACK = "in its bootloader or on its way back: switch the source off, then see readme.txt"


def make_image(size, date=b"Jun 20 2011", time_text=b"09:15:48", version=6):
    """A firmware image of `size` bytes with its header fields; other bytes
    from a fixed sequence without runs of 0xFF."""
    image = bytearray((i * 37 + 11) % 251 for i in range(size))
    image[140:140 + len(date) + 1] = date + b"\0"
    image[152:152 + len(time_text) + 1] = time_text + b"\0"
    image[163:165] = version.to_bytes(2, "little")
    return bytes(image)


def box_lines(text):
    return ["[box] " + line for line in text.split("\n")]


class CliRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for program in (CLI, SIM):
            if not program.exists():
                raise unittest.SkipTest(f"{program} is not built")
        cls.image = FIRMWARE.read_bytes()

    def setUp(self):
        self.workdir = OUT / self.id().rsplit(".", 1)[1]
        shutil.rmtree(self.workdir, ignore_errors=True)
        self.workdir.mkdir(parents=True)
        self.device_dir = self.workdir / "devices"
        self.data_dir = self.workdir / "data"
        self.instruments = []
        self.small = self.workdir / "small.bin"
        self.small.write_bytes(make_image(SMALL_IMAGE_SIZE))

    def tearDown(self):
        for instrument in self.instruments:
            instrument.stop()

    def instrument(self, *options, com=1):
        workdir = self.workdir / f"com{com}"
        workdir.mkdir(exist_ok=True)
        instrument = SimulatedInstrument(SIM, workdir, *options, com=com,
                                         device_dir=self.device_dir)
        self.instruments.append(instrument)
        return instrument

    def environment(self, lang="C.UTF-8"):
        environment = {key: value for key, value in os.environ.items()
                       if key not in ("LC_ALL", "LC_MESSAGES", "LANGUAGE")}
        return {**environment, "LANG": lang, "ZIRON7_DEVICE_DIR": str(self.device_dir),
                "XDG_DATA_HOME": str(self.data_dir)}

    def start(self, *arguments, lang="C.UTF-8"):
        return subprocess.Popen([str(CLI), *arguments], env=self.environment(lang),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def run_cli(self, *arguments, timeout=SMALL_UPDATE_TIMEOUT_S, lang="C.UTF-8"):
        started = time.monotonic()
        process = self.start(*arguments, lang=lang)
        out_bytes, err_bytes = process.communicate(timeout=timeout)
        # Whatever a run prints is UTF-8: decoding fails loudly if not.
        out, err = out_bytes.decode("utf-8"), err_bytes.decode("utf-8")
        self.wall_s = time.monotonic() - started
        (self.workdir / "cli.out").write_text(out + "\n--- stderr ---\n" + err)
        return process.returncode, out.splitlines(), err.splitlines()

    def path_argument(self, path):
        """`path` as the program takes it on the command line."""
        return str(path)

    def session_logs(self):
        folder = self.data_dir / "ziron7" / "logs"
        return sorted(folder.glob("*.log")) if folder.exists() else []

    def expected_flash(self, image):
        end_value = len(image) | PAGE_END_BITS
        return image + b"\xff" * (end_value + 1 - len(image))

    def assert_met_no_line(self, result):
        """`result` is that of a run that opened no port: nothing of a line in it."""
        for member in ("rate", "identity", "firmware", "pace", "wall_time_ms", "counts", "session_log"):
            self.assertNotIn(member, result)

    def assert_in_order(self, lines, expected):
        position = 0
        for line in expected:
            self.assertIn(line, lines[position:], f"{line!r} after line {position}")
            position = lines.index(line, position) + 1

    def test_update_of_the_embedded_image_prints_the_dialog_lines_in_order(self):
        instrument = self.instrument()
        code, out, err = self.run_cli("update", "--port", "COM1", timeout=FULL_UPDATE_TIMEOUT_S)
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assertEqual(out, ["COM1: updated: the new firmware was written and verified"],
                         "stdout holds the result alone")
        self.assert_in_order(err, [
            "Зирон-7 найден. Скорость 9600", "Серийный номер 12345. Дата выпуска 7/2011",
            "Версия программы в приборе №6 от 20/06/2010 09:15:48", "Тип 3 Число перепрошивок 0",
            "Переход в загрузчик...", "В загрузчике", "Завершена запись FLASH", SUCCEEDED,
            "Переход в основную программу...", "Переход завершён", "[box] " + SUCCEEDED])
        # Not a terminal: a progress line every 10 %, writing then verifying.
        progress = [line for line in err if line.startswith("progress ")]
        self.assertEqual([line.split()[1] for line in progress],
                         [f"{p}%" for p in range(10, 101, 10)])
        self.assertIn("Запись по адресу", progress[0])
        self.assertIn("Проверка по адресу", progress[-1])
        self.assertEqual(instrument.flash_bytes()[:len(self.expected_flash(self.image))],
                         self.expected_flash(self.image))
        logs = self.session_logs()
        self.assertEqual(len(logs), 1)
        log = SessionLog.read(logs[0])
        self.assertRegex(log.name, rf"-SN{SIM_SERIAL}\.log$")
        self.assertEqual(log.field("outcome"), VERIFIED_OUTCOME)
        digest = __import__("hashlib").sha256(self.image).hexdigest()
        self.assertIn(f"image: the program's own, SHA-256 {digest}", [t for _, t in log.events])
        self.assertTrue(any(line.startswith("exit code 0, session log ") and
                            line.endswith(logs[0].name) for line in err), err)
        print(f"\nziron7-cli: whole update of the embedded image {self.wall_s:.1f} s "
              f"from start to exit (search included)")

    def test_fast_update_on_a_clean_line_writes_the_embedded_image(self):
        # Bytes at their wire time, so the bootloader's answers pace the run.
        instrument = self.instrument("--pace")
        code, out, err = self.run_cli("update", "--port", "COM1", "--fast",
                                      timeout=FULL_UPDATE_TIMEOUT_S)
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assertIn("[box] " + SUCCEEDED, err)
        self.assertIn(FAST_PACE_LINE, err, "the run says which pace it had")
        # Whether a clean line ever repeats a request at the fast pace is the
        # simulated runs' to hold (in simulated time); here, beside the other
        # stages, a reply can be late for a loaded machine's reasons alone.
        fell_back = [line for line in err if FALLBACK_MARK in line]
        print(f"\nziron7-cli --fast on a clean line: {'fell back' if fell_back else 'no fallback'}")
        self.assertEqual(instrument.flash_bytes()[:len(self.expected_flash(self.image))],
                         self.expected_flash(self.image))
        self.assertEqual(instrument.sent("^status")[-1]["meaning"], "status: main program",
                         "the instrument runs its main program again")
        log = SessionLog.read(self.session_logs()[0])
        print(f"\nziron7-cli --fast: whole update of the embedded image {self.wall_s:.1f} s "
              f"from start to exit (search included), "
              f"{log.field('repeated requests')} requests repeated")

    def test_update_from_an_image_file_ends_with_one_json_object(self):
        instrument = self.instrument()
        code, out, err = self.run_cli("update", "--port", "1", "--image", self.path_argument(self.small),
                                      "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assertEqual(len(out), 1, "stdout holds the JSON object alone")
        result = json.loads(out[0])
        self.assertEqual(result["schema"], 1)
        self.assertEqual(result["command"], "update")
        self.assertEqual(result["port"], "COM1")
        self.assertIsNone(result["device"])
        self.assertEqual(result["rate"], 9600)
        self.assertEqual(result["identity"]["serial_number"], SIM_SERIAL)
        self.assertEqual(result["identity"]["manufactured"], "7/2011")
        self.assertEqual(result["identity"]["firmware_version"], 6)
        self.assertEqual(result["decision"], "write")
        self.assertEqual(result["code"], "updated")
        self.assertEqual(result["text"], "the new firmware was written and verified")
        small_digest = __import__("hashlib").sha256(self.small.read_bytes()).hexdigest()
        self.assertEqual(result["image"], {"source": "file", "version": 6, "size": SMALL_IMAGE_SIZE,
                                           "build_time": "Jun 20 2011 09:15:48",
                                           "sha256": small_digest})
        self.assertEqual(result["firmware"]["before"]["version"], 6)
        self.assertEqual(result["firmware"]["after"],
                         {"version": 6, "build_time": "Jun 20 2011 09:15:48"})
        self.assertEqual(result["pace"], "default")
        self.assertEqual(result["exit_code"], 0)
        self.assertGreater(result["wall_time_ms"], 0)
        self.assertEqual(result["counts"]["verification_passes"], 1)
        self.assertEqual(result["counts"]["verification_failures"], 0)
        log_path = self.session_logs()[0]
        self.assertEqual(result["session_log"].replace("\\", "/").rsplit("/", 1)[-1], log_path.name)
        self.assertIn(SUCCEEDED, err, "the account of the run goes to stderr")
        flash = instrument.flash_bytes()
        small = self.small.read_bytes()
        self.assertEqual(flash[:len(self.expected_flash(small))], self.expected_flash(small))
        log = SessionLog.read(log_path)
        digest = __import__("hashlib").sha256(small).hexdigest()
        self.assertIn(f"image file: {self.path_argument(self.small)}, SHA-256 {digest}",
                      [t for _, t in log.events])

    def test_later_firmware_is_refused_with_exit_code_1(self):
        instrument = self.instrument("--firmware-date", "later")
        code, out, err = self.run_cli("update", "--port", "COM1")
        self.assertEqual(code, 1, "\n".join(out + err))
        self.assertEqual(out, ["COM1: refused_later: the instrument holds later firmware; "
                               "nothing was written"])
        self.assert_in_order(err, [
            "Версия программы в приборе позже чем обновление", "Обновление не целесообразно",
            *box_lines("Версия программы в приборе позже чем обновление\n"
                       "Обновление не целесообразно")])
        # The same refusal for a script: one JSON object that names it, with
        # the firmware the instrument holds as the update read it.
        code, out, err = self.run_cli("update", "--port", "COM1", "--json")
        self.assertEqual(code, 1, "\n".join(out + err))
        self.assertEqual(len(out), 1, out)
        result = json.loads(out[0])
        self.assertEqual((result["schema"], result["code"], result["exit_code"], result["decision"]),
                         (1, "refused_later", 1, "refuse"))
        self.assertEqual(result["identity"]["serial_number"], 12345)
        self.assertIn("firmware_version", result["identity"])
        self.assertEqual(instrument.received("loader request"), [])

    def test_nothing_on_the_port_ends_with_exit_code_3(self):
        # No device behind COM2 at all, and a device that never answers.
        code, out, err = self.run_cli("update", "--port", "COM2")
        self.assertEqual(code, 3, "\n".join(out + err))
        self.assertTrue(any(line.startswith("Порт COM2 недоступен: ") for line in err), err)
        self.assertEqual(out, ["COM2: port_missing: no such port"])
        self.assertEqual(self.session_logs(), [], "no port opened, no log")
        code, out, err = self.run_cli("update", "--port", "COM2", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["port"], result["exit_code"]), ("port_missing", "COM2", 3))
        self.assert_met_no_line(result)
        # A COMn whose device is none (here a folder): the port is there, but
        # it does not open.
        self.device_dir.mkdir(parents=True, exist_ok=True)
        (self.device_dir / "com2").symlink_to(self.workdir)
        code, out, err = self.run_cli("update", "--port", "COM2", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["port"], result["exit_code"]), ("port_failed", "COM2", 3))
        self.assert_met_no_line(result)

        self.instrument("--silent-after", "0")
        code, out, err = self.run_cli("update", "--port", "COM1", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual(result["code"], "no_instrument")
        self.assertEqual(result["decision"], "none")
        self.assertIn("[box] Нет связи с Зирон-7!", err)

        # Quiet: only what went wrong reaches stderr.
        code, out, err = self.run_cli("update", "--port", "COM1", "-q")
        self.assertEqual(code, 3)
        self.assertEqual(out, ["COM1: no_instrument: nothing answered"])
        self.assertIn("COM1: no Зирон-7 found (nothing answered)", err)
        self.assertFalse([line for line in err if line.startswith("[box]") or
                          line.startswith("exit code")], err)

    def test_what_answers_but_is_no_instrument_ends_with_exit_code_3_in_bounded_time(self):
        # Five passes over the six rates, 4.5 s, whatever answers meanwhile.
        cases = [(("--device-type", "5"), "a device of another type answered", "foreign_device"),
                 (("--echo", "--silent-after", "0"), "only our own bytes came back", "own_echo")]
        for options, heard, outcome in cases:
            for command in ("find", "update"):
                with self.subTest(options=options, command=command):
                    instrument = self.instrument(*options)
                    code, out, err = self.run_cli(command, "--port", "COM1", "--json", timeout=30)
                    instrument.stop()
                    self.instruments.remove(instrument)
                    self.assertEqual(code, 3, "\n".join(out + err))
                    self.assertIn(f"COM1: no Зирон-7 found ({heard})", err)
                    result = json.loads(out[0])
                    self.assertEqual(result["code"], outcome)
                    if command == "find":
                        self.assertEqual([port["code"] for port in result["ports"]], [outcome])
                    self.assertLess(self.wall_s, 15.0)

    def test_a_line_silent_mid_write_ends_with_exit_code_4_and_the_warning(self):
        instrument = self.instrument("--silent-after", "40")
        code, out, err = self.run_cli("update", "--port", "COM1", "--image", self.path_argument(self.small))
        self.assertEqual(code, 4, "\n".join(out + err))
        self.assert_in_order(err, ["В загрузчике", "[box] Нет связи с Зирон-7!",
                                   *box_lines("\n".join(NOT_COMPLETED_WARNING))])
        self.assertIn("instrument: " + PARTLY_WRITTEN, err)
        self.assertEqual(out, ["COM1: no_link: the link was lost, or the bootloader could not "
                               "be entered"])
        self.assertTrue(instrument.received(WRITE_FRAMES))

        # The same loss for a script, on a fresh instrument (this one stays
        # silent): the JSON says where the instrument was left, and that what
        # its flash now holds is unknown.
        instrument.stop()
        self.instruments.remove(instrument)
        (self.workdir / "com1").rename(self.workdir / "text-run")
        instrument = self.instrument("--silent-after", "40")
        code, out, err = self.run_cli("update", "--port", "COM1", "--image", self.path_argument(self.small),
                                      "--json")
        self.assertEqual(code, 4, "\n".join(out + err))
        self.assertEqual(len(out), 1, out)
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["exit_code"], result["decision"]), ("no_link", 4, "write"))
        self.assertEqual(result["instrument"], PARTLY_WRITTEN)
        self.assertIsNotNone(result["firmware"]["before"])
        self.assertIsNone(result["firmware"]["after"], "partly written: not the image's, nor the old one")
        self.assertTrue(instrument.received(WRITE_FRAMES))

    def test_a_verification_failing_five_times_ends_with_exit_code_5(self):
        self.instrument("--stuck", "0x0100")
        code, out, err = self.run_cli("update", "--port", "COM1", "--image", self.path_argument(self.small),
                                      "--json", timeout=120)
        self.assertEqual(code, 5, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual(result["counts"]["verification_failures"], 5)
        self.assertEqual(result["code"], "verify_failed")
        self.assertEqual(err.count("Проверка микропрограммы НЕУСПЕШНА - ошибка проверки данных"), 5)

    def test_verify_reads_back_without_writing(self):
        small = self.small.read_bytes()
        good = self.instrument("--firmware", str(self.small), "--firmware-date", "same")
        code, out, err = self.run_cli("verify", "--port", "COM1", "--image", self.path_argument(self.small),
                                      "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual(result["decision"], "verify")
        self.assertEqual(result["code"], "verified")
        self.assertNotIn("updat", result["text"], "verify writes nothing")
        self.assertEqual(result["firmware"]["after"], result["firmware"]["before"])
        self.assertTrue(good.received("read back"))
        self.assertEqual(good.received(WRITE_FRAMES), [])
        good.stop()
        self.instruments.clear()

        (self.workdir / "com1").rename(self.workdir / "good")
        corrupted = self.instrument("--firmware", str(self.small), "--firmware-date", "same",
                                    "--stuck", "0x0100")
        code, out, err = self.run_cli("verify", "--port", "COM1", "--image", self.path_argument(self.small))
        self.assertEqual(code, 5, "\n".join(out + err))
        self.assertEqual(out, ["COM1: verify_failed: the flash does not match the image"])
        self.assert_in_order(err, ["Проверка микропрограммы НЕУСПЕШНА - ошибка проверки данных",
                                   "Микропрограмма в приборе отличается от обновления",
                                   "Переход завершён"])
        self.assertEqual(corrupted.received(WRITE_FRAMES), [])
        self.assertEqual(corrupted.flash_bytes()[:len(small)], small, "flash unchanged")

    def test_an_instrument_in_its_bootloader_is_written_only_with_yes(self):
        question = box_lines("Зирон-7 находится в загрузчике, микропрограмма в приборе "
                             "неизвестна.\nЗаписать обновление?")
        instrument = self.instrument("--start-in-bootloader")
        code, out, err = self.run_cli("update", "--port", "COM1", "--image",
                                      self.path_argument(self.small))
        self.assertEqual(code, 4, "\n".join(out + err))
        self.assertIn(question[0], err)
        self.assertIn(question[1] + " -> Нет", err)
        self.assertIn("instrument: " + LEFT_UNWRITTEN, err)
        self.assertEqual(out, ["COM1: left_in_bootloader: found in its bootloader and left "
                               "unwritten (without --yes)"])
        # The same No for a script. Found in its bootloader, the instrument
        # never told its firmware: unknown before, and unchanged after.
        code, out, err = self.run_cli("update", "--port", "COM1", "--image",
                                      self.path_argument(self.small), "--json")
        self.assertEqual(code, 4, "\n".join(out + err))
        self.assertEqual(len(out), 1, out)
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["exit_code"], result["decision"]),
                         ("left_in_bootloader", 4, "none"))
        self.assertEqual(result["instrument"], LEFT_UNWRITTEN)
        self.assertEqual(result["firmware"], {"before": None, "after": None})
        self.assertEqual(instrument.received(WRITE_FRAMES), [], "nothing written after No")

        code, out, err = self.run_cli("update", "--port", "COM1", "--yes", "--image",
                                      self.path_argument(self.small))
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assert_in_order(err, [question[0], question[1] + " -> Да", "[box] " + SUCCEEDED])

    def test_a_bootloader_that_never_leaves_ends_with_exit_code_6(self):
        # verify: the flash is read back, never written, then the switch back
        # to the main program goes unanswered until the update gives up.
        instrument = self.instrument("--firmware", str(self.small), "--firmware-date", "same",
                                     "--never-leave")
        code, out, err = self.run_cli("verify", "--port", "COM1", "--image", self.path_argument(self.small),
                                      "--json")
        self.assertEqual(code, 6, "\n".join(out + err))
        self.assertEqual(len(out), 1, out)
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["exit_code"], result["decision"]),
                         ("cannot_leave_bootloader", 6, "verify"))
        self.assertEqual(result["instrument"], ON_ITS_WAY_BACK)
        # Stuck in its bootloader, its flash still holds what it held.
        self.assertEqual(result["firmware"]["after"], result["firmware"]["before"])
        self.assertIsNotNone(result["firmware"]["after"])
        self.assert_in_order(err, ["Переход в основную программу...",
                                   *box_lines("Невозможно выйти из загрузчика!\n"
                                              "Выключите питание источника - далее читайте readme.txt")])
        self.assertEqual(instrument.sent("^status")[-1]["meaning"], "status: bootloader")
        self.assertEqual(instrument.received(WRITE_FRAMES), [])

    def test_a_bad_image_file_sends_nothing_and_ends_with_exit_code_2(self):
        instrument = self.instrument()
        bad = self.workdir / "bad.bin"
        for content, check in [(make_image(SMALL_IMAGE_SIZE, date=b"Jux 20 2011"),
                                "build date check failed"),
                               (make_image(SMALL_IMAGE_SIZE, time_text=b"9:15"),
                                "build date and time check failed"),
                               (b"\x00" * 100, "size check failed: 100 bytes"),
                               (make_image(0x10000), "size check failed: 65536 bytes"),
                               (make_image(65300), "size check failed: 65300 bytes, the verification "
                                                   "could not read back its block at 0xFF00"),
                               # No terminator anywhere, escape bytes and bytes that are
                               # no UTF-8 where the header's texts stand.
                               (bytes(0x1B if i % 16 == 0 else 0x80 + i % 0x7F for i in range(500)),
                                "build date")]:
            bad.write_bytes(content)
            for subcommand in ("update", "verify"):
                code, out, err = self.run_cli(subcommand, "--port", "COM1", "--image", self.path_argument(bad),
                                              "--json")
                self.assertEqual(code, 2, check)
                self.assertIn(f"image file {self.path_argument(bad)}: {check}", "\n".join(err))
                result = json.loads(out[0])
                self.assertEqual((result["exit_code"], result["code"]), (2, "bad_image"))
                self.assertIn(check, result["detail"])
                self.assertIsNone(result["image"])
                self.assert_met_no_line(result)
                self.assertLess(len("\n".join(err)), 400, "no file bytes dumped on the terminal")
                self.assertNotIn("\x1b", "\n".join(out + err))
        self.assertEqual(instrument.frames(), [], "the instrument untouched")
        self.assertEqual(self.session_logs(), [], "no port opened, no log")

    def test_ctrl_c_mid_write_ends_as_exit_does(self):
        instrument = self.instrument()
        process = self.start("update", "--port", "COM1")
        wait_until(lambda: len(instrument.received(WRITE_FRAMES)) > 30, 30, "writing")
        process.send_signal(signal.SIGINT)
        out, err = (text.decode() for text in process.communicate(timeout=20))
        self.assertEqual(process.returncode, 130, out + err)
        self.assertEqual(out, "COM1: interrupted: interrupted\n")
        lines = err.splitlines()
        self.assert_in_order(lines, ["interrupted: ending the run as Выход does",
                                     *box_lines("\n".join(NOT_COMPLETED_WARNING)),
                                     "instrument: in its bootloader with the flash partly "
                                     "written: repeat the update"])
        log = SessionLog.read(self.session_logs()[0])
        self.assertEqual(log.field("outcome"),
                         "not completed (end code 2): the update must be repeated")

    def test_sigterm_mid_verify_exits_143_and_never_says_the_flash_was_written(self):
        instrument = self.instrument("--firmware", str(self.small), "--firmware-date", "same")
        process = self.start("verify", "--port", "COM1", "--image", self.path_argument(self.small),
                             "--json")
        wait_until(lambda: len(instrument.received("read back")) > 3, 30, "reading back")
        process.send_signal(signal.SIGTERM)
        out, err = (text.decode() for text in process.communicate(timeout=20))
        self.assertEqual(process.returncode, 143, out + err)
        result = json.loads(out)
        self.assertEqual((result["code"], result["exit_code"]), ("interrupted", 143))
        self.assertIn("unchanged", result["instrument"])
        self.assertNotIn("written", result["instrument"])
        self.assertNotIn(SUCCEEDED, err)
        self.assertEqual(instrument.received(WRITE_FRAMES), [])

    def test_sigterm_ends_every_port_of_a_production_line_as_it_ends_one(self):
        first = self.instrument("--serial", "1001", com=1)
        second = self.instrument("--serial", "1002", com=2)
        process = self.start("update", "--port", "COM1", "--port", "COM2", "--json")
        wait_until(lambda: len(first.received(WRITE_FRAMES)) > 10 and len(second.received(WRITE_FRAMES)) > 10,
                   30, "both writing")
        process.send_signal(signal.SIGTERM)
        out, err = (text.decode() for text in process.communicate(timeout=20))
        self.assertEqual(process.returncode, 143, out + err)
        results = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([(r["port"], r["code"], r["exit_code"]) for r in results],
                         [("COM1", "interrupted", 143), ("COM2", "interrupted", 143)])
        lines = err.splitlines()
        for port in ("COM1", "COM2"):
            self.assert_in_order(lines, [f"{port}: interrupted: ending the run as Выход does",
                                         *(f"{port}: " + line for line in box_lines("\n".join(NOT_COMPLETED_WARNING))),
                                         f"{port}: instrument: in its bootloader with the flash partly "
                                         "written: repeat the update"])

    def test_a_port_named_by_its_device_path_or_a_stable_link_to_it(self):
        instrument = self.instrument()
        device = os.path.realpath(self.device_dir / "com1")
        by_id = self.workdir / "serial" / "by-id" / "usb-Sim_Ziron-7_12345-if00-port0"
        by_id.parent.mkdir(parents=True)
        by_id.symlink_to(device)
        code, out, err = self.run_cli("update", f"--port={device}", "--image", str(self.small),
                                      "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["port"], result["device"], result["code"]),
                         ("COM1", device, "updated"))
        log = self.session_logs()[0].read_text()
        self.assertIn(f"device {device}", log, "the log names the device")

        code, out, err = self.run_cli("find", "--port", str(by_id), "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        found = json.loads(out[0])["ports"]
        self.assertEqual([(port["port"], port["device"], port["code"]) for port in found],
                         [("COM1", str(by_id), "found")])
        self.assertEqual(found[0]["identity"]["serial_number"], SIM_SERIAL)

        code, out, err = self.run_cli("ports", "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        listed = json.loads(out[0])
        self.assertEqual((listed["schema"], listed["code"], listed["exit_code"]), (1, "listed", 0))
        self.assertIn(("COM1", device), [(port["port"], port["device"]) for port in listed["ports"]])

        # A device that no COMn stands for: nothing is opened.
        code, out, err = self.run_cli("update", "--port", "/dev/null", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["port"], result["device"]), ("port_missing", None, "/dev/null"))
        self.assert_met_no_line(result)
        frames_before = len(instrument.frames())

        # A COMn and a device path that stand for one port: refused before
        # anything is opened, in JSON too.
        code, out, err = self.run_cli("update", "--port", "COM1", "--port", device, "--json")
        self.assertEqual(code, 2, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["exit_code"]), ("bad_usage", 2))
        self.assertIn("are one port", result["detail"])
        self.assertEqual(len(instrument.frames()), frames_before)
        self.assertTrue(instrument.frames())

    def test_a_port_another_program_holds_is_busy(self):
        self.instrument()
        with open(os.path.realpath(self.device_dir / "com1"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
            code, out, err = self.run_cli("update", "--port", "COM1", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual(result["code"], "port_busy")
        self.assertIn("занят", result["detail"])
        said = "\n".join(err)
        self.assertEqual(said.count("занят другой программой"), 1, said)

    def test_a_port_the_user_may_not_open_has_no_access(self):
        instrument = self.instrument()
        os.chmod(os.path.realpath(self.device_dir / "com1"), 0)
        for command in ("update", "diagnose"):
            # Root opens a device whatever its mode says: the run gives up the
            # rights that override the modes, and is bound by them as a user
            # outside the port's group is. (A user other than root keeps its
            # bounding set, and is bound already.)
            process = subprocess.Popen(
                ["setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--",
                 str(CLI), command, "--port", "COM1", "--json"],
                env=self.environment(), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            out, err = (text.decode("utf-8") for text in process.communicate(timeout=30))
            with self.subTest(command=command):
                self.assertEqual(process.returncode, 3, out + err)
                result = json.loads(out)
                self.assertEqual((result["code"], result["exit_code"]), ("no_access", 3))
                if command == "update":
                    self.assertIn("dialout", result["detail"], "the way to the right is named")
                    self.assert_met_no_line(result)
                else:
                    self.assertEqual((result["open_failure"]["code"], result["conclusion"]["code"]),
                                     ("no_access", "no_access"))
                    self.assertEqual(result["rates"], [])
        self.assertEqual(instrument.frames(), [], "nothing was sent")
        self.assertEqual(self.session_logs(), [], "no port opened, no log")

    def test_version_names_the_program_and_its_firmware(self):
        code, out, err = self.run_cli("--version")
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assertRegex(out[0], r"^ziron7-cli \S+$")
        self.assertTrue(out[1].startswith("Firmware: version "), out)
        digest = __import__("hashlib").sha256(self.image).hexdigest()
        self.assertEqual(out[2], f"SHA-256: {digest}")

    def test_the_program_speaks_the_locales_language_and_its_codes_do_not_change(self):
        # No port is opened: an image file that is not there.
        missing = self.path_argument(self.workdir / "missing.bin")
        code, out, err = self.run_cli("update", "--port", "COM1", "--image", missing,
                                      lang="ru_RU.UTF-8")
        self.assertEqual(code, 2, "\n".join(out + err))
        self.assertEqual(out, ["COM1: bad_image: файл образа непригоден; ничего не отправлено"])
        self.assertEqual(err, [f"файл образа {missing}: файл не читается: такого файла нет",
                               "код выхода 2"])
        code, out, err = self.run_cli("update", "--port", "COM1", "--image", missing, "--json",
                                      lang="ru_RU.UTF-8")
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["text"]),
                         ("bad_image", "файл образа непригоден; ничего не отправлено"))
        code, out, err = self.run_cli("update", "--bogus", lang="ru_RU.UTF-8")
        self.assertEqual(code, 2, "\n".join(out + err))
        self.assertEqual(err, ["ziron7-cli: '--bogus' не параметр 'update' "
                               "(подробнее: ziron7-cli --help)"])
        # A script that asked for JSON gets it even when the command line makes no command.
        code, out, err = self.run_cli("update", "--bogus", "--json", lang="ru_RU.UTF-8")
        self.assertEqual(code, 2, "\n".join(out + err))
        self.assertEqual(json.loads(out[0]), {
            "schema": 1, "command": "update", "code": "bad_usage",
            "text": "командная строка не составляет команды",
            "detail": "'--bogus' не параметр 'update'", "exit_code": 2})

    def test_two_instruments_updated_at_once_by_two_processes(self):
        first = self.instrument("--serial", "1001", com=1)
        second = self.instrument("--serial", "1002", "--baud", "57600", com=2)
        results = {}

        def update(port):
            process = self.start("update", "--port", port, "--image", self.path_argument(self.small), "--json")
            out, err = process.communicate(timeout=SMALL_UPDATE_TIMEOUT_S)
            results[port] = (process.returncode, out.decode(), err.decode())

        threads = [threading.Thread(target=update, args=(port,)) for port in ("COM1", "COM2")]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for port, serial, rate in (("COM1", 1001, 9600), ("COM2", 1002, 57600)):
            code, out, err = results[port]
            self.assertEqual(code, 0, port + "\n" + out + err)
            result = json.loads(out)
            self.assertEqual(result["identity"]["serial_number"], serial)
            self.assertEqual(result["rate"], rate)
        small = self.small.read_bytes()
        for instrument in (first, second):
            self.assertEqual(instrument.flash_bytes()[:len(self.expected_flash(small))],
                             self.expected_flash(small))
        names = [log.name for log in self.session_logs()]
        self.assertEqual(sorted(re.search(r"-SN(\d+)\.log$", name).group(1) for name in names),
                         ["1001", "1002"], names)


    def test_a_production_line_updates_several_ports_at_once_in_one_process(self):
        first = self.instrument("--serial", "1001", com=1)
        second = self.instrument("--serial", "1002", "--baud", "57600", com=2)
        self.instrument("--device-type", "5", com=3)
        small = self.path_argument(self.small)
        code, out, err = self.run_cli("update", "--port", "COM1", "--port", "COM2", "--port", "COM3",
                                      "--image", small)
        # The foreign device on a port named is a failure of the line.
        self.assertEqual(code, 3, "\n".join(out + err))
        self.assertEqual(len(out), 4, out)
        self.assertRegex(out[0], r"^port +serial number +firmware before -> after +outcome +seconds$")
        for line, port, serial in ((out[1], "COM1", 1001), (out[2], "COM2", 1002)):
            self.assertRegex(line, rf"^{port} +{serial} +6 Jun 20 2010 09:15:48 -> 6 Jun 20 2011 09:15:48 +"
                                   r"the new firmware was written and verified +\d+\.\d$")
        self.assertRegex(out[3], r"^COM3 +- +- +a device of another type answered +\d+\.\d$")
        # Every line on stderr names its port, but the line's own exit code.
        self.assertEqual(err[-1], "exit code 3")
        self.assertEqual([line for line in err[:-1] if not re.match(r"COM[123]: ", line)], [])
        self.assertIn("COM1: Зирон-7 найден. Скорость 9600", err)
        self.assertIn("COM2: Зирон-7 найден. Скорость 57600", err)
        self.assertIn("COM3: no Зирон-7 found (a device of another type answered)", err)
        # At once: the second instrument was found before the first finished.
        self.assertLess(err.index("COM2: Зирон-7 найден. Скорость 57600"), err.index("COM1: Переход завершён"))
        image = self.small.read_bytes()
        for instrument in (first, second):
            self.assertEqual(instrument.flash_bytes()[:len(self.expected_flash(image))],
                             self.expected_flash(image))
        # One session log per port, each naming its own port only.
        logs = [SessionLog.read(path) for path in self.session_logs()]
        self.assertEqual(len(logs), 3, [log.name for log in logs])
        for log in logs:
            opened = {re.search(r"COM\d", text).group(0) for _, text in log.events if text.startswith("port opened")}
            mentioned = set(re.findall(r"COM\d", log.text))
            self.assertEqual(len(opened), 1, log.name)
            self.assertEqual(mentioned, opened, log.name)

        # Every port present, in JSON: the instruments, now holding the image,
        # are only verified; the foreign device's port counts for nothing.
        code, out, err = self.run_cli("update", "--all", "--image", small, "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        results = [json.loads(line) for line in out]
        # The system may have ports of its own besides the three (Wine does):
        # they answer nothing and count for nothing.
        ours = [r for r in results if r["port"] in ("COM1", "COM2", "COM3")]
        self.assertEqual([(r["port"], r["code"], r["exit_code"]) for r in ours],
                         [("COM1", "verified", 0), ("COM2", "verified", 0), ("COM3", "foreign_device", 3)])
        for result in results:
            self.assertEqual(result["schema"], 1)
            self.assertEqual(result["command"], "update")
            if result not in ours:
                self.assertIn(result["code"], ("no_instrument", "port_missing", "port_failed", "port_busy"))
        self.assertEqual([r["identity"].get("serial_number") for r in ours], [1001, 1002, None])
        self.assertEqual(ours[0]["firmware"]["before"], ours[0]["firmware"]["after"])
        # Each names its own log, on Windows as a Windows path.
        names = {path.name for path in self.session_logs()}
        for result in ours:
            self.assertIn(PureWindowsPath(result["session_log"]).name, names)
        # The table goes to stderr, for the person at the line.
        self.assertTrue(any(re.match(r"^COM3 +- +- +a device of another type answered", line) for line in err))


    # A diagnosis watches six rates for three 80 ms request periods each:
    # about 1.5 s, at most 4 s as its help says, and the program's start.
    DIAGNOSIS_TIMEOUT_S = 30.0
    DIAGNOSIS_WALL_S = 6.0

    def diagnose(self, *options):
        code, out, err = self.run_cli("diagnose", "--port", "COM1", "--json", *options,
                                      timeout=self.DIAGNOSIS_TIMEOUT_S)
        self.assertLess(self.wall_s, self.DIAGNOSIS_WALL_S)
        result = json.loads(out[0])
        self.assertEqual(len(out), 1, out)
        self.assertEqual(result["schema"], 1)
        self.assertEqual(result["command"], "diagnose")
        self.assertEqual(result["exit_code"], code)
        return code, result

    def assert_diagnosed(self, options, outcome, conclusion, answers):
        instrument = self.instrument(*options)
        code, result = self.diagnose()
        self.assertEqual(code, 3, result)
        self.assertEqual((result["code"], result["conclusion"]["code"]), (outcome, conclusion))
        self.assertEqual([rate["rate"] for rate in result["rates"]],
                         [4800, 9600, 19200, 38400, 57600, 115200])
        self.assertLessEqual({rate["answer"] for rate in result["rates"]}, answers, result)
        # Only the identify request went out: nothing is switched.
        self.assertEqual({frame["meaning"] for frame in instrument.frames()
                          if frame["dir"] == "in"} - {"identify request"}, set())
        instrument.stop()
        self.instruments.remove(instrument)
        return result

    def test_diagnose_names_what_a_silent_and_a_foreign_line_return(self):
        with self.subTest("silent"):
            self.assert_diagnosed(("--silent-after", "0"), "no_instrument", "no_answer", {"nothing"})
        with self.subTest("foreign"):
            result = self.assert_diagnosed(("--device-type", "5"), "foreign_device", "foreign_device",
                                           {"nothing", "another_device"})
            at_9600 = result["rates"][1]
            self.assertEqual((at_9600["answer"], at_9600["device_type"]), ("another_device", 5))
            self.assertIn("a device of type 5 answers at 9600 baud", result["conclusion"]["text"])

    def test_diagnose_names_our_own_bytes_on_an_echoing_line(self):
        result = self.assert_diagnosed(("--echo", "--silent-after", "0"), "own_echo", "own_echo",
                                       {"own_echo", "nothing"})
        # On a loaded machine an echo may come later than the search allows
        # for: still ours, counted apart; one so late that it comes in while
        # the next rate is observed counts there, and one later still, after
        # the last rate, is not seen (seen: none at 57600 and two late at
        # 115200, at a load of 8 on two cores). Three requests go out at
        # each rate.
        echoes = [rate["own_echoes"] + rate["late_echoes"] for rate in result["rates"]]
        self.assertLessEqual(sum(echoes), 3 * 6, echoes)
        self.assertGreaterEqual(sum(bool(count) for count in echoes), 4, echoes)

    def test_diagnose_of_a_16_ms_burst_line_finds_the_instrument_and_names_the_held_replies(self):
        # An adapter that passes bytes on every 16 ms; at 4800 baud a reply
        # takes longer than that on the wire, so it comes in two bursts.
        self.instrument("--baud", "4800", "--pace", "--chunk", "16")
        code, result = self.diagnose()
        self.assertEqual(code, 0, result)
        self.assertEqual((result["code"], result["conclusion"]["code"]), ("found", "found"))
        at_4800 = result["rates"][0]
        self.assertEqual((at_4800["answer"], at_4800["serial_number"]), ("ziron7", SIM_SERIAL))
        self.assertGreaterEqual(at_4800["timing"]["least_late_ms"], 12, at_4800)
        self.assertGreaterEqual(at_4800["timing"]["most_pieces"], 2, at_4800)
        self.assertGreaterEqual(at_4800["timing"]["largest_gap_ms"], 12, at_4800)
        self.assertGreaterEqual(result["latency"]["held_ms"], 12, result)
        # A pseudo-terminal is no USB serial adapter: no setting to name.
        self.assertIsNone(result["latency"]["latency_timer_setting"])
        self.assertIn("latency timer", result["conclusion"]["text"])

        # The same line in text, under a Russian locale.
        code, out, err = self.run_cli("diagnose", "--port", "COM1", lang="ru_RU.UTF-8",
                                      timeout=self.DIAGNOSIS_TIMEOUT_S)
        self.assertEqual(code, 0, "\n".join(out + err))
        self.assertTrue(out[0].startswith("COM1 ("), out)
        self.assertTrue(out[0].endswith(": порт открывается"), out)
        self.assertTrue(out[1].startswith("  4800 бод: Зирон-7, серийный номер 12345; "), out)
        self.assertTrue(out[-1].startswith("вывод: отвечает Зирон-7 на скорости 4800 бод"), out)

    def test_diagnose_tells_a_missing_and_a_busy_port_and_who_holds_it(self):
        code, out, err = self.run_cli("diagnose", "--port", "COM2", "--json")
        self.assertEqual(code, 3, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["conclusion"]["code"]), ("port_missing", "port_missing"))
        self.assertEqual(result["rates"], [])

        instrument = self.instrument()
        with open(os.path.realpath(self.device_dir / "com1"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
            code, result = self.diagnose()
        self.assertEqual(code, 3, result)
        self.assertEqual(result["conclusion"]["code"], "port_busy")
        holder = f"(pid {os.getpid()})"
        self.assertIn(holder, " ".join(result["open_failure"]["holders"]), result)
        self.assertIn(holder, result["conclusion"]["text"])
        self.assertEqual(instrument.frames(), [], "nothing was sent")

    def test_a_search_that_gave_up_leaves_the_diagnosis_conclusion_in_its_session_log(self):
        self.instrument("--echo", "--silent-after", "0")
        code, diagnosis = self.diagnose()
        self.assertEqual(code, 3, diagnosis)
        self.assertEqual(self.session_logs(), [], "a diagnosis leaves no session log")
        code, out, err = self.run_cli("find", "--port", "COM1", timeout=30)
        self.assertEqual(code, 3, "\n".join(out + err))
        [log] = [SessionLog.read(path) for path in self.session_logs()]
        conclusion = diagnosis["conclusion"]
        # The search times no replies: its conclusion is the diagnosis's
        # without what the diagnosis adds on how late they came (a loaded
        # machine can make our own echoes late enough for that).
        [logged] = [text for _, text in log.events if text.startswith("line: ")] or [log.text]
        self.assertTrue(logged.startswith(f"line: {conclusion['code']}: "), log.text)
        self.assertTrue(conclusion["text"].startswith(logged.split(": ", 2)[2]), log.text)

if __name__ == "__main__":
    unittest.main()
