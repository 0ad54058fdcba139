#!/usr/bin/env python3
"""Fails when a program that the scripts, the build or the tests call would be missing on a
fresh Debian machine after scripts/setup-packages.sh.

scripts/tools.txt names each external program once, with the package that provides it. This
check holds that table against three things:
  1. the machine: the program is on the system's PATH and its file comes from that package
     (or from a package that the named one depends on, as with alternatives);
  2. scripts/packages.txt: the package is listed there, or it belongs to the base system
     (an Essential or Priority: required package, which every Debian machine has);
  3. the sources: every program that the shell scripts, the Python helpers and the CMake
     files call by name is in the table.
Each failure says which line or package to add.
    python3 scripts/check-tools.py [TREE]   (default: this tree)
"""
import re
import shutil
import subprocess
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
TOOLS = Path("scripts/tools.txt")
PACKAGES = Path("scripts/packages.txt")
# Only what Debian's packages put on the PATH counts: a program in /usr/local or in a
# user's own tool folder would be missing on a fresh machine.
SYSTEM_PATH = "/usr/bin:/bin:/usr/sbin:/sbin"
# How far a package's dependencies are followed to find the file's owner: the
# alternatives of imagemagick and of the compilers live one or two packages down.
DEPENDENCY_DEPTH = 3

# The files of the run command (scripts/run.sh) besides the build: what they call must come
# from packages that scripts/packages.txt does not mark "tests".
RUN_FILES = {"scripts/run.sh", "scripts/setup-packages.sh", "scripts/demo-operator.py",
             "tests/e2e/operator_desktop.py", "CMakePresets.json"}

# Words that run another program: the program is the next word that is not an option,
# a number, a variable or an assignment.
WRAPPERS = {"timeout", "nice", "env", "exec", "command", "xvfb-run"}


def read_table(path):
    rows = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        words = line.split("#", 1)[0].split()
        if words:
            rows.append((number, words))
    return rows


def shell_words(kind):
    result = subprocess.run(["bash", "-c", f"compgen -{kind}"], capture_output=True,
                            text=True, check=True)
    return set(result.stdout.split())


def installed_packages():
    """Package name -> (base system?, names it depends on), for every installed package."""
    result = subprocess.run(
        ["dpkg-query", "-W", "-f", "${Package}\t${db:Status-Status}\t${Essential}\t"
         "${Priority}\t${Depends},${Pre-Depends}\n"],
        capture_output=True, text=True, check=True)
    packages = {}
    for line in result.stdout.splitlines():
        name, status, essential, priority, depends = line.split("\t")
        if status != "installed":
            continue
        names = {re.split(r"[\s:(]", alternative.strip())[0]
                 for clause in depends.split(",") for alternative in clause.split("|")}
        base = essential == "yes" or priority == "required"
        packages[name] = (base, names - {""})
    return packages


def owner_paths(path):
    """The names under which dpkg may know a file: as found, resolved through its links, and
    either of those in /bin instead of /usr/bin or back (the merged /usr)."""
    paths = {str(path), str(Path(path).resolve())}
    for name in list(paths):
        if name.startswith("/usr/"):
            paths.add(name[len("/usr"):])
        else:
            paths.add("/usr" + name)
    return paths


def owners(paths):
    """File -> the packages that own it, for all the files in one query."""
    result = subprocess.run(["dpkg-query", "-S", *sorted(paths)], capture_output=True, text=True)
    found = {}
    for line in result.stdout.splitlines():
        names, _, file = line.rpartition(": ")
        found.setdefault(file, set()).update(n.strip().split(":")[0] for n in names.split(","))
    return found


def within_dependencies(package, owner_names, packages):
    reached, frontier = {package}, {package}
    for _ in range(DEPENDENCY_DEPTH):
        frontier = {d for p in frontier for d in packages.get(p, (False, set()))[1]} - reached
        reached |= frontier
    return bool(reached & owner_names)


def called_in_shell(text, builtins, functions):
    """Programs named in command position in a shell script."""
    text = re.sub(r"\\\n", " ", text)
    called = set()
    for line in text.splitlines():
        line = re.sub(r"(^|\s)#.*", "", line)
        line = re.sub(r"'[^']*'", "''", line)
        # A quoted text is no command unless it holds a command substitution.
        line = re.sub(r'"(?:[^"\\]|\\.)*"', lambda m: m[0] if "$(" in m[0] else '""', line)
        line = re.sub(r"\$?\(\(.*?\)\)", "", line)
        for segment in re.split(r"\|\||&&|[|;&`]|\$\(|\)|(?<!\S)[{}](?!\S)|\b(?:then|do|else)\b",
                           line):
            words = segment.split()
            if words and re.match(r"^\w+=\(", words[0]):
                continue  # an array assignment
            while words and (words[0] in {"!", "if", "elif", "while", "until", "time"}
                             or re.match(r"^\w+(\[.*\])?\+?=", words[0])
                             or re.match(r"^\d*[<>]", words[0])):
                words = words[1:]
            if not words or words[0] in {"for", "case", "local", "readonly", "declare"}:
                continue
            while words:
                word = words.pop(0)
                if not re.fullmatch(r"[A-Za-z][\w.+-]*", word) or word in functions:
                    break
                if word not in builtins:
                    called.add(word)
                if word not in WRAPPERS:
                    break
                while words and re.match(r"^(-|\d|\$|\"|\w+=)", words[0]):
                    words.pop(0)
    return called


def called_in_python(text):
    pattern = r"(?:run|Popen|check_call|check_output|call)\(\s*\[\s*[\"']([\w.+-]+)[\"']"
    return set(re.findall(pattern, text))


def called_in_cmake(text):
    words = re.findall(r"\bCOMMAND\s+\"?([\w.+/-]+)", text)
    return {Path(word).name for word in words if "/" not in word or word.startswith("/usr/bin/")}


def called_by_the_build(text):
    """The compilers and the generator that CMake is told to run."""
    called = set(re.findall(r"CMAKE_(?:CXX|C|RC)_COMPILER\W{1,4}([\w.+-]+)", text))
    called.update(re.findall(r"^\s*(?:readonly\s+)?\w*compiler=([\w.+-]+)", text, re.M))
    if re.search(r"\"generator\":\s*\"Ninja\"|-G\s*\"?Ninja", text):
        called.add("ninja")
    return called


def needed_to_run(name):
    """Whether a file is on the run command's way: the script, the operator that it plays on
    a virtual display, and the build of the program (not of its tests)."""
    return name in RUN_FILES or (name.endswith("CMakeLists.txt") and not name.startswith("tests/"))


def called_programs(top):
    """Program -> the files that call it."""
    files = subprocess.run(["git", "-C", str(top), "ls-files"], capture_output=True, text=True,
                           check=True).stdout.split()
    builtins = shell_words("b") | shell_words("k")
    called = {}
    for name in files:
        path = top / name
        if not path.is_file():
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        if name.endswith(".sh") or text.startswith("#!/usr/bin/env bash"):
            functions = set(re.findall(r"^\s*([\w-]+)\s*\(\)\s*\{", text, re.M))
            found = called_in_shell(text, builtins, functions)
        elif name.endswith(".py"):
            found = called_in_python(text)
        elif name.endswith("CMakeLists.txt") or name.endswith(".cmake"):
            found = called_in_cmake(text) - {"$<TARGET_FILE"}
        elif not name.endswith(".json"):
            continue
        else:
            found = set()
        found |= called_by_the_build(text)
        for program in found:
            called.setdefault(program, []).append(name)
    return called


def check(top):
    """The failures, one text each, of the tree at top against this machine."""
    failures = []
    rows = [words for _, words in read_table(top / PACKAGES)]
    listed = {words[0] for words in rows}
    tests_only = {words[0] for words in rows if words[1:2] == ["tests"]}
    packages = installed_packages()
    table = {}
    for number, words in read_table(top / TOOLS):
        if len(words) != 2:
            failures.append(f"scripts/tools.txt:{number}: want 'program package', got {words}")
            continue
        program, package = words
        if program in table:
            failures.append(f"scripts/tools.txt:{number}: {program} is named twice")
        table[program] = package

    called = called_programs(top)
    paths = {program: shutil.which(program, path=SYSTEM_PATH) for program in {*table, *called}}
    owned = owners({name for path in paths.values() if path for name in owner_paths(path)})

    def owners_of(program):
        return {owner for name in owner_paths(paths[program]) for owner in owned.get(name, ())}

    for program, package in sorted(table.items()):
        base = packages.get(package, (False, set()))[0]
        if package not in listed and not base:
            failures.append(f"{program} comes from the package {package}, which is not in the "
                            f"base system: add '{package}' to scripts/packages.txt")
        if paths[program] is None:
            failures.append(f"{program} is not installed: scripts/setup-packages.sh should have "
                            f"installed it from '{package}' (is the package name right?)")
            continue
        found = owners_of(program)
        if not within_dependencies(package, found, packages):
            owner = ", ".join(sorted(found)) or "no package (installed by hand?)"
            failures.append(f"{program} ({paths[program]}) comes from {owner}, not from "
                            f"'{package}': correct its line in scripts/tools.txt")

    for program, callers in sorted(called.items()):
        where = callers[0]
        run_callers = [name for name in callers if needed_to_run(name)]
        if table.get(program) in tests_only and run_callers:
            failures.append(f"{run_callers[0]} calls {program}, which the run command needs, but "
                            f"scripts/packages.txt marks its package {table[program]} 'tests'")
        if program not in table:
            hint = ", ".join(sorted(owners_of(program))) if paths[program] else "a package to look up"
            failures.append(f"{where} calls {program}, which scripts/tools.txt does not name: "
                            f"add '{program} <package>' ({hint}) and the package to "
                            f"scripts/packages.txt unless it is in the base system")

    failures += [f"scripts/tools.txt names {program}, which nothing calls: remove its line"
                 for program in sorted(set(table) - set(called))]
    return failures


def main():
    top = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else TOP
    failures = check(top)
    if failures:
        print("\n".join(f"FAIL: {failure}" for failure in failures), file=sys.stderr)
        return 1
    print("tools: every program that the scripts, the build and the tests call is installed "
          "from a listed or base-system package")
    return 0


if __name__ == "__main__":
    sys.exit(main())
