"""ziron7-cli.exe, the Windows console program, run under Wine as a script
runs it, against the simulated instrument: the runs of test_cli_runs.py
that need no signal (an update in text and in JSON, a refusal,
a line silent mid-write, a verification failing five times, verify of a
good and of a corrupted flash, the bootloader question, a bootloader that
never leaves, bad image files including a garbage one, --version, a Russian
locale with a command line that makes no command in JSON, the line
diagnosis of a silent and of a foreign line, three ports updated at once
by one process), and runs of its own: a port named as Windows spells it
(\\.\COMn, or the system's device name that `ports` lists) and a port the
system does not have, in JSON; the session log is read from the prefix's
local data folder. The ports are the Windows runs' COM1 and the COM2 and
COM3 beside it (windows_runs.py), each pointed at its simulator's
pseudo-terminal.

Environment: ZIRON7_WINDOWS_BUILD_DIR (the build with ziron7-cli.exe),
ZIRON7_BUILD_DIR (the Linux build with ziron7-sim and the preload library),
ZIRON7_E2E_FIRMWARE, ZIRON7_E2E_OUT."""

import json
import shutil
import subprocess
import unittest

import test_cli_runs
import windows_runs

CLI_EXE = windows_runs.WINDOWS_BUILD / "app" / "cli" / "ziron7-cli.exe"
# A COM port the prefix does not have: Wine names COM1 to COM4, and at most
# one more per serial device of the machine.
ABSENT_PORT = "COM200"


class WindowsCliRuns(test_cli_runs.CliRuns):
    # A second port, Ctrl+C and a port with no device behind it are the
    # system's own matters, which Wine plays its own way: the Linux program
    # runs them.
    LINUX_ONLY = {
        "test_two_instruments_updated_at_once_by_two_processes",
        "test_ctrl_c_mid_write_ends_as_exit_does",
        "test_nothing_on_the_port_ends_with_exit_code_3",
        "test_sigterm_mid_verify_exits_143_and_never_says_the_flash_was_written",
        "test_sigterm_ends_every_port_of_a_production_line_as_it_ends_one",
        # Device paths, another program's lock and the stable links are
        # Linux's; Windows names its ports \\.\COMn, which the parser's
        # tests hold.
        "test_a_port_named_by_its_device_path_or_a_stable_link_to_it",
        "test_a_port_another_program_holds_is_busy",
        "test_diagnose_tells_a_missing_and_a_busy_port_and_who_holds_it",
        # Windows gives every user every COM port: a refused open means
        # another program holds it, and the program says port_busy. A right
        # the user lacks is Linux's alone.
        "test_a_port_the_user_may_not_open_has_no_access",
        # Our own bytes are told by the time the program handles them, and
        # Wine hands the notification over too late for that on a loaded
        # machine: the echo-only line was taken for another device.
        "test_what_answers_but_is_no_instrument_ends_with_exit_code_3_in_bounded_time",
        "test_diagnose_names_our_own_bytes_on_an_echoing_line",
        "test_a_search_that_gave_up_leaves_the_diagnosis_conclusion_in_its_session_log",
        # Wine hands what has arrived over in lumps, later than the adapter
        # passed it on: how late and in what bursts replies come is measured
        # by the Linux program.
        "test_diagnose_of_a_16_ms_burst_line_finds_the_instrument_and_names_the_held_replies",
    }

    # Wine takes seconds of its own to start a program.
    DIAGNOSIS_WALL_S = 20.0

    @classmethod
    def setUpClass(cls):
        for needed in (CLI_EXE, test_cli_runs.SIM, windows_runs.MODEM_LINES):
            if not needed.exists():
                raise unittest.SkipTest(f"{needed} is not built")
        windows_runs.OUT.mkdir(parents=True, exist_ok=True)
        windows_runs.make_prefix()
        windows_runs.keep_server()
        cls.image = test_cli_runs.FIRMWARE.read_bytes()

    @classmethod
    def tearDownClass(cls):
        windows_runs.end_server()
        super().tearDownClass()

    def setUp(self):
        if self._testMethodName in self.LINUX_ONLY:
            self.skipTest("run by the Linux program only")
        super().setUp()
        # The prefix is shared: only this run's session logs may be there.
        shutil.rmtree(windows_runs.USER_DATA / "ziron7", ignore_errors=True)

    def instrument(self, *options, com=1):
        instrument = super().instrument(*options, com=com)
        link = windows_runs.LINE_PORT_LINKS[com]
        link.unlink(missing_ok=True)
        link.symlink_to(self.device_dir / f"com{com}")
        return instrument

    def start(self, *arguments, lang="C.UTF-8"):
        return subprocess.Popen(
            ["wine", str(CLI_EXE), *arguments],
            env={**self.environment(lang), **windows_runs.WINE_ENV,
                 "LD_PRELOAD": str(windows_runs.MODEM_LINES)},
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def run_cli(self, *arguments, **options):
        # On a loaded machine Wine now and then ends a program it never
        # started: exit code 1 and not a byte on either stream. This program
        # never ends so (every way out of it says why on stdout or stderr),
        # so such a run is started once more, and says so.
        code, out, err = super().run_cli(*arguments, **options)
        if code == 1 and not out and not err:
            print("\nWine did not start ziron7-cli.exe; starting it once more", flush=True)
            code, out, err = super().run_cli(*arguments, **options)
        return code, out, err

    def path_argument(self, path):
        # The prefix's drive Z: is the root of the file system.
        return "Z:" + str(path).replace("/", "\\")

    def session_logs(self):
        folder = windows_runs.USER_DATA / "ziron7" / "logs"
        return sorted(folder.glob("*.log")) if folder.exists() else []


    # --- Windows's own names of a port, and one it does not have. ---

    def test_a_port_named_as_windows_spells_it(self):
        self.instrument()
        code, out, err = self.run_cli("ports", "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["code"], result["exit_code"]), ("listed", 0))
        listed = {port["port"]: port for port in result["ports"]}
        self.assertEqual(listed["COM1"]["stable_names"], ["\\\\.\\COM1"])
        system_name = listed["COM1"]["device"]  # \Device\Serial0 under Wine
        for name, device in (("\\\\.\\COM1", None), (system_name, system_name)):
            with self.subTest(name=name):
                code, out, err = self.run_cli("find", "--port", name, "--json", timeout=30)
                self.assertEqual(code, 0, "\n".join(out + err))
                [found] = json.loads(out[0])["ports"]
                self.assertEqual((found["port"], found.get("device"), found["code"]),
                                 ("COM1", device, "found"))
                self.assertEqual(found["identity"]["serial_number"], test_cli_runs.SIM_SERIAL)
        code, out, err = self.run_cli("update", "--port=\\\\.\\COM1", "--image",
                                      self.path_argument(self.small), "--json")
        self.assertEqual(code, 0, "\n".join(out + err))
        result = json.loads(out[0])
        self.assertEqual((result["port"], result["code"]), ("COM1", "updated"))

    def test_a_port_the_system_does_not_have_is_missing_in_json(self):
        for command in ("update", "verify", "diagnose"):
            with self.subTest(command=command):
                code, out, err = self.run_cli(command, "--port", ABSENT_PORT, "--json")
                self.assertEqual(code, 3, "\n".join(out + err))
                result = json.loads(out[0])
                self.assertEqual((result["command"], result["code"], result["port"], result["exit_code"]),
                                 (command, "port_missing", ABSENT_PORT, 3))
                if command == "diagnose":
                    self.assertEqual(result["rates"], [])
                    self.assertEqual(result["conclusion"]["code"], "port_missing")
                    self.assertIn(f"no device stands behind {ABSENT_PORT}", result["conclusion"]["text"])
                else:
                    self.assert_met_no_line(result)
        self.assertEqual(self.session_logs(), [], "no port opened, no log")


if __name__ == "__main__":
    unittest.main()
