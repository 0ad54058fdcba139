"""scripts/check-tools.py: which calls it finds in the scripts, and that it fails, naming
the line or package to add, where a fresh machine would miss a program."""
import importlib.util
import subprocess
import tempfile
import textwrap
import unittest
from pathlib import Path

CHECKER = Path(__file__).resolve().parents[2] / "scripts" / "check-tools.py"
spec = importlib.util.spec_from_file_location("check_tools", CHECKER)
check_tools = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_tools)

BUILTINS = check_tools.shell_words("b") | check_tools.shell_words("k")


def shell_calls(script, functions=frozenset()):
    return check_tools.called_in_shell(textwrap.dedent(script), BUILTINS, set(functions))


class ShellCallsTest(unittest.TestCase):
    def test_commands_in_every_position(self):
        script = """\
            cmake --preset default >/dev/null
            dir=$(mktemp -d) && grep -q ready "$dir/out" || sleep 1
            if ! dpkg-query -W x; then tail -n 5 log | sed 's/a/b/'; fi
            for rate in 1 2; do xdotool key Return; done
            timeout --kill-after=10 "$limit" python3 -m unittest
            nice -n 10 ctest -j 2
            cmp a \\
              b
            """
        self.assertEqual(shell_calls(script),
                         {"cmake", "mktemp", "grep", "sleep", "dpkg-query", "tail", "sed",
                          "xdotool", "timeout", "python3", "nice", "ctest", "cmp"})

    def test_words_that_are_not_commands(self):
        script = """\
            # a comment naming make and gcc
            echo "the simulator (ziron7-sim) as COM1 at $rate; then as before"
            echo 'single (quoted) as text; here'
            targets=(fuzz_one fuzz_two)
            failures=$((failures + 1))
            for ((tenth = 0; tenth < 10; ++tenth)); do :; done
            cleanup() { rm -rf "$dir"; }
            cleanup
            "$build/tool" --flag
            """
        self.assertEqual(shell_calls(script, {"cleanup"}), {"rm"})

    def test_a_command_substitution_inside_quotes_counts(self):
        self.assertEqual(shell_calls('cd "$(dirname "$0")/.."\n'), {"dirname"})


class BuildToolsTest(unittest.TestCase):
    def test_compilers_and_the_generator(self):
        presets = '"generator": "Ninja", "CMAKE_CXX_COMPILER": "g++"'
        script = "cmake -G Ninja -DCMAKE_CXX_COMPILER=clang++-14\ncompiler=cross-g++\n"
        self.assertEqual(check_tools.called_by_the_build(presets), {"ninja", "g++"})
        self.assertEqual(check_tools.called_by_the_build(script),
                         {"ninja", "clang++-14", "cross-g++"})

    def test_python_and_cmake_calls(self):
        self.assertEqual(check_tools.called_in_python('subprocess.run(["xdotool", "key"])'),
                         {"xdotool"})
        cmake = 'add_test(NAME a COMMAND /usr/bin/python3 x.py)\nadd_test(NAME b COMMAND sh -c "")'
        self.assertEqual(check_tools.called_in_cmake(cmake), {"python3", "sh"})


class TreeTest(unittest.TestCase):
    """A tree of its own: a script, the table and the package list, checked against this
    machine, whose cmake and grep are installed from Debian's packages."""

    def check(self, script, tools, packages, script_name="job.sh"):
        with tempfile.TemporaryDirectory() as top:
            root = Path(top)
            (root / "scripts").mkdir()
            (root / "scripts" / script_name).write_text(script)
            (root / "scripts" / "tools.txt").write_text(tools)
            (root / "scripts" / "packages.txt").write_text(packages)
            subprocess.run(["git", "init", "-q", top], check=True)
            subprocess.run(["git", "-C", top, "add", "."], check=True)
            return check_tools.check(root)

    def test_a_complete_table_passes(self):
        self.assertEqual(self.check("cmake -S .\ngrep x y\n", "cmake cmake\ngrep grep\n",
                                    "cmake\n"), [])

    def test_each_gap_is_named_with_its_mend(self):
        failures = self.check(
            "cmake -S .\ngrep x y\nno-such-tool-z7 --run\nxyzzy-tool\n",
            "cmake cmake\ngrep sed\nno-such-tool-z7 no-such-package-z7\nsleep coreutils\n",
            "grep\n")
        expected = [
            "add 'cmake' to scripts/packages.txt",
            "grep (",  # comes from grep, not from 'sed'
            "not from 'sed'",
            "no-such-tool-z7 is not installed",
            "add 'no-such-package-z7' to scripts/packages.txt",
            "calls xyzzy-tool, which scripts/tools.txt does not name",
            "names sleep, which nothing calls",
        ]
        for text in expected:
            self.assertTrue(any(text in failure for failure in failures), (text, failures))
        self.assertEqual(len(failures), 6, failures)

    def test_the_run_command_needs_no_package_of_the_tests(self):
        tools, packages = "cmake cmake\n", "cmake    tests\n"
        self.assertEqual(self.check("cmake -S .\n", tools, packages), [])
        failures = self.check("cmake -S .\n", tools, packages, script_name="run.sh")
        self.assertEqual(len(failures), 1, failures)
        self.assertIn("scripts/run.sh calls cmake, which the run command needs", failures[0])


if __name__ == "__main__":
    unittest.main()
