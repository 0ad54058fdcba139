"""The stages of the test command (scripts/pipeline.py runs them): what each
runs, which stages it needs, and which files are its inputs.

A build stage compiles with every core, so builds run one at a time, in the
order of this table (what the longest runs need first), at the lowest
priority, and are never skipped (the build tool already rebuilds only what
changed). Every other stage takes `cores` of the machine's cores by
measurement, runs at `niceness`, and is skipped when its inputs are
byte-identical to those of its last passing run."""

import functools
import os
import re
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

JOBS = str(os.cpu_count() or 1)
# The files a build produces that a later stage runs or reads.
BUILT_SUFFIXES = (".so", ".exe", ".dll", ".ico", ".png", ".bin")


@dataclass
class Stage:
    name: str
    command: list
    needs: tuple = ()
    build: bool = False
    cores: float = 1.0          # of a stage that is not a build, measured: see the README
    niceness: int = 0           # a run on the wire keeps 0; builds run at 19
    sources: tuple = ()         # folders and files of the tree that are inputs
    built: tuple = ()           # build folders (or files) whose products are inputs
    skippable: bool = True
    environment: dict = field(default_factory=dict)
    summary_marks: tuple = ()   # the lines of its output that the table shows

    def input_files(self, top):
        files = set()
        tracked = tree_files(top)
        for source in self.sources:
            files.update(path for path in tracked
                         if path == source or path.startswith(source.rstrip("/") + "/"))
        paths = sorted(top / path for path in files)
        for built in self.built:
            paths.extend(products(top / built))
        return paths

    def summary(self, output):
        """A few words from the stage's own output for the table: the last line
        with one of its marks; of a build, how many steps the build tool took."""
        for mark in self.summary_marks:
            found = [line.strip() for line in output.splitlines() if mark in line]
            if found:
                return found[-1][:70]
        if self.build:
            # Each build tool run counts its own steps: "[n/total] ...".
            runs = re.findall(r"^\[(\d+)/(\d+)\]", output, re.M)
            totals = [int(total) for done, total in runs if done == total]
            return f"{sum(totals)} build steps" if totals else "up to date"
        return ""


@functools.lru_cache(maxsize=None)
def tree_files(top):
    """The tree's files as git sees them (tracked and new, not ignored), without
    the documentation that no stage reads."""
    listed = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard"],
        cwd=top, capture_output=True, text=True, check=True).stdout.split("\n")
    return [path for path in listed
            if path and path != "README.md" and not path.startswith("docs/")
            and (top / path).is_file()]


def products(folder):
    """The programs, libraries and data files a build folder holds (not its
    object files or the build tool's own records), in a fixed order."""
    if folder.is_file():
        return [folder]
    found = []
    for root, dirs, names in os.walk(folder):
        dirs[:] = sorted(d for d in dirs if d not in ("CMakeFiles", "e2e", "wine-prefix",
                                                      "wine-template", "package", "demo"))
        for name in sorted(names):
            path = Path(root) / name
            if path.is_symlink() or not path.is_file():
                continue
            if name.endswith(BUILT_SUFFIXES) or (os.access(path, os.X_OK)
                                                 and "." not in name):
                found.append(path)
    return found


# Every folder of the program's code, for the stages that test all of it.
CODE = ("CMakeLists.txt", "CMakePresets.json", "cmake", "clock", "session", "link", "log", "winapi",
        "serial", "framework", "res", "image", "receive", "search", "diagnose", "update", "app", "sim",
        "packaging", "tests", "scripts")
PROGRAMS = ("ziron7-flasher", "ziron7-cli", "ziron7-sim", "ziron7_pty_modem_lines",
            "ziron7_desktop_icons", "ziron7_package_documents", "simulate-updates")
# The block of seeds the test command plays in simulated time.
SIMULATED_SEEDS = os.environ.get("ZIRON7_SIMULATED_SEEDS", "20000")


def stages(top):
    default = "build/default"
    windows = "build/windows"
    e2e_environment = {"ZIRON7_BUILT": "1", "QT_QPA_PLATFORM": "offscreen"}
    return [
        Stage("programs", ["bash", "-c", f"cmake --preset default >/dev/null && "
                           f"cmake --build {default} -j {JOBS} --target {' '.join(PROGRAMS)}"],
              build=True, skippable=False),
        Stage("windows-build", ["bash", "scripts/check-windows.sh", "build"], build=True,
              skippable=False),
        Stage("unit-build", ["bash", "-c", f"cmake --preset asan >/dev/null && "
                             f"cmake --build build/asan -j {JOBS}"],
              build=True, skippable=False),
        # Below the runs on the wire: the sanitizer tests keep both cores busy
        # in bursts, and beside them the end-to-end runs' replies came late
        # enough for a clean line to repeat requests. Their own runs on a
        # pseudo-terminal wait on the wire as well, and the end-to-end runs
        # take little of a core.
        Stage("unit-tests", ["ctest", "--preset", "asan", "-j", JOBS], needs=("unit-build",),
              cores=0.6, niceness=10, sources=CODE, built=("build/asan",),
              summary_marks=("tests passed",)),
        Stage("tsan-build", ["bash", "scripts/check-tsan.sh", "build"], build=True,
              skippable=False),
        Stage("tsan-tests", ["bash", "scripts/check-tsan.sh", "run"], needs=("tsan-build",),
              cores=1.0, sources=("scripts/check-tsan.sh",), built=("build/tsan/tests",),
              summary_marks=("PASSED",)),
        Stage("fuzz-build", ["bash", "scripts/check-fuzz.sh", "build"], build=True,
              skippable=False),
        # Fuzzing takes a core for its minute but waits on nothing: it gets
        # what the other stages leave.
        Stage("fuzz", ["bash", "scripts/check-fuzz.sh", "run"], needs=("fuzz-build",),
              cores=0.0, niceness=19, sources=("scripts/check-fuzz.sh",),
              built=("build/fuzz/tests/fuzz",), summary_marks=("fuzzing found",)),
        # Every core the real-time runs leave, at the lowest priority: the
        # simulated runs take no time of their own, only CPU.
        Stage("simulation", ["bash", "scripts/simulate-updates.sh", SIMULATED_SEEDS],
              needs=("programs",), cores=0.0, niceness=19,
              sources=("scripts/simulate-updates.sh",), built=(f"{default}/tests/simulation",),
              environment={"ZIRON7_BUILT": "1"}, summary_marks=("passed,",)),
        Stage("windows-tests", ["bash", "scripts/check-windows.sh", "tests"],
              needs=("windows-build",), cores=0.3,
              sources=("scripts/check-windows.sh", "scripts/wine-run.sh", "tests/windows"),
              built=(windows,), summary_marks=("tests passed",)),
        Stage("e2e", ["bash", "scripts/check-e2e.sh"], needs=("programs",),
              cores=0.6,
              sources=("tests/e2e", "scripts/check-e2e.sh", "res/firmware"),
              built=(f"{default}/app", f"{default}/sim", f"{default}/tests/support"),
              environment=e2e_environment, summary_marks=("passed,",)),
        Stage("windows-e2e", ["bash", "scripts/check-windows.sh", "runs"],
              needs=("windows-build", "programs"),
              cores=0.5,
              sources=("tests/e2e", "scripts/check-windows.sh", "res/firmware"),
              built=(f"{windows}/app", f"{default}/sim", f"{default}/tests/support"),
              environment=e2e_environment, summary_marks=("passed,",)),
        Stage("windows-package", ["bash", "scripts/check-windows.sh", "package"],
              needs=("windows-build",), cores=0.0, niceness=19,
              sources=("scripts/check-windows.sh", "scripts/package-windows.sh",
                       "scripts/check-imports.sh", "scripts/photograph-installer.py",
                       "app/readme.txt", "packaging"),
              built=(f"{windows}/app",), summary_marks=("zip:",)),
        Stage("deb-package", ["bash", "scripts/check-package.sh"], needs=("programs",),
              cores=0.0, niceness=19, environment={"ZIRON7_BUILT": "1"},
              sources=("scripts/check-package.sh", "packaging", "app/readme.txt",
                       "CMakeLists.txt"),
              built=(f"{default}/app", f"{default}/sim", f"{default}/packaging"),
              summary_marks=("lintian, manual pages",)),
    ]


def with_needs(everything, names):
    """The stages named and, transitively, what they need, in table order."""
    by_name = {stage.name: stage for stage in everything}
    unknown = [name for name in names if name not in by_name]
    if unknown:
        raise SystemExit(f"no such stage: {', '.join(unknown)} "
                         f"(stages: {', '.join(by_name)})")
    wanted = set()
    pending = list(names)
    while pending:
        name = pending.pop()
        if name not in wanted:
            wanted.add(name)
            pending.extend(by_name[name].needs)
    return [stage for stage in everything if stage.name in wanted]
