#!/usr/bin/env python3
"""Mutation check: how many hand-written faults the test suite catches.

Applies each fault of a table (tools/mutation_faults.txt) in turn to a scratch copy of this
checkout, builds it, runs the whole suite with CTest, and says for each fault whether a test
failed ("caught"), no test failed ("SURVIVED"), the build failed (a fault that does not compile
counts as neither), or its snippet no longer stands exactly once in its file ("stale": mend the
table). The checkout itself is never touched.

The scratch copy and its build folder live under --scratch and are kept between runs, so that
each fault costs an incremental build. --tests-from REF puts the tests/ folder of another git
ref in place of this checkout's, so that two suites can be compared over the same code:

  tools/mutation_check.py --tests-from main   # the suite of main over this code
  tools/mutation_check.py                      # this checkout's suite
  tools/mutation_check.py --check              # only whether every snippet still matches

A fault in the table:

  [name]
  file: page/naming.cpp
  find: if (!Taken(folded)) return path;
  into: if (Taken(folded)) return path;
  what: a free name is taken for a used one

`find` must stand exactly once in the file; `into` replaces it (empty: the text goes).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_TABLE = ROOT / "tools" / "mutation_faults.txt"
DEFAULT_SCRATCH = Path(os.environ.get("TMPDIR", "/tmp")) / "lorva-mutation"


def read_table(path):
    """The faults of the table at `path`, in order, as dictionaries."""
    faults = []
    current = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        heading = re.fullmatch(r"\[([\w.-]+)\]", line.strip())
        if heading:
            current = {"name": heading.group(1), "line": number}
            faults.append(current)
            continue
        field = re.match(r"(file|find|into|what):(?: (.*))?$", line)
        if current is None or field is None:
            sys.exit(f"{path}:{number}: expected [name] or file:/find:/into:/what:, got {line!r}")
        current[field.group(1)] = field.group(2) or ""
    for fault in faults:
        missing = [key for key in ("file", "find", "into", "what") if key not in fault]
        if missing:
            sys.exit(f"{path}:{fault['line']}: fault [{fault['name']}] lacks {', '.join(missing)}")
    names = [fault["name"] for fault in faults]
    for name in names:
        if names.count(name) > 1:
            sys.exit(f"{path}: fault [{name}] stands twice")
    return faults


def read(path):
    """The text of `path`, its line ends and any byte kept as they are."""
    return path.read_bytes().decode("utf-8", "surrogateescape")


def write(path, text):
    path.write_bytes(text.encode("utf-8", "surrogateescape"))


def occurrences(tree, fault):
    path = tree / fault["file"]
    if not path.is_file():
        return -1
    return read(path).count(fault["find"])


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def prepare_scratch(scratch, label, tests_from):
    """Brings scratch/src-LABEL to this checkout's tracked files as they stand; with
    `tests_from`, the tests/ folder comes from that git ref. A file whose bytes are unchanged
    keeps its time, so that the build redoes only what changed. Returns the source folder."""
    source = scratch / ("src-" + label)
    source.mkdir(parents=True, exist_ok=True)
    tracked = run(["git", "-C", str(ROOT), "ls-files", "-z"], capture_output=True).stdout
    wanted = {name: ROOT / name for name in tracked.decode().split("\0") if name}
    if tests_from:
        wanted = {name: path for name, path in wanted.items() if not name.startswith("tests/")}
        extracted = scratch / ("ref-" + label)
        shutil.rmtree(extracted, ignore_errors=True)
        extracted.mkdir(parents=True)
        archive = run(["git", "-C", str(ROOT), "archive", tests_from, "tests"],
                      capture_output=True).stdout
        run(["tar", "-x", "-C", str(extracted)], input=archive)
        for path in extracted.rglob("*"):
            if path.is_file():
                wanted[path.relative_to(extracted).as_posix()] = path
    for name, origin in wanted.items():
        target = source / name
        if origin.is_symlink() or not origin.is_file():
            continue
        if target.is_file() and target.read_bytes() == origin.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(origin, target)
        shutil.copymode(origin, target)
    for path in sorted(source.rglob("*"), reverse=True):
        name = path.relative_to(source).as_posix()
        if name.startswith("tests/browser/node_modules"):
            continue
        if (path.is_file() or path.is_symlink()) and name not in wanted:
            path.unlink()
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()
    modules = ROOT / "tests" / "browser" / "node_modules"
    link = source / "tests" / "browser" / "node_modules"
    if modules.is_dir() and not link.exists() and link.parent.is_dir():
        link.symlink_to(modules)
    return source


def build(source, build_dir, log):
    env = dict(os.environ)
    env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    # A development build, as scripts/build.sh makes: the converter bridge from the source tree.
    result = subprocess.run(["cmake", "-S", str(source), "-B", str(build_dir), "-G", "Ninja",
                             "-DLORVA_DEVELOPMENT_BUILD=ON"],
                            stdout=log, stderr=subprocess.STDOUT, env=env)
    if result.returncode != 0:
        return False
    result = subprocess.run(["cmake", "--build", str(build_dir), "-j", str(args.jobs)],
                            stdout=log, stderr=subprocess.STDOUT, env=env)
    return result.returncode == 0


def failing_tests(build_dir, log):
    """Runs the suite; returns the names of the tests that failed (empty when all passed)."""
    command = ["ctest", "--test-dir", str(build_dir), "-j", str(args.jobs), "--timeout", "300"]
    if args.stop_on_failure:
        command.append("--stop-on-failure")
    if args.no_browser:
        command += ["-E", "^browser_"]
    result = subprocess.run(command, capture_output=True, text=True)
    log.write(result.stdout + result.stderr)
    log.flush()
    listed = result.stdout.partition("The following tests FAILED:")[2]
    failed = re.findall(r"^\s*\d+ - (\S+) \(", listed, re.MULTILINE)
    if result.returncode != 0 and not failed:
        failed = ["(ctest failed: see the log)"]
    return failed


def main():
    faults = read_table(args.table)
    if args.only:
        chosen = set(args.only.split(","))
        unknown = chosen - {fault["name"] for fault in faults}
        if unknown:
            sys.exit("no such faults: " + ", ".join(sorted(unknown)))
        faults = [fault for fault in faults if fault["name"] in chosen]

    if args.check:
        stale = 0
        for fault in faults:
            count = occurrences(ROOT, fault)
            if count != 1:
                stale += 1
                where = "no such file" if count < 0 else f"found {count} times"
                print(f"stale  [{fault['name']}] {fault['file']}: {where}: {fault['find']}")
        print(f"{len(faults)} faults, {stale} stale")
        return 1 if stale else 0

    label = "tests-" + re.sub(r"[^\w.-]", "_", args.tests_from) if args.tests_from else "own"
    scratch = args.scratch
    source = prepare_scratch(scratch, label, args.tests_from)
    build_dir = scratch / ("build-" + label)
    log_path = scratch / f"log-{label}.txt"
    results_path = scratch / f"results-{label}.txt"
    with open(log_path, "w") as log:
        print(f"scratch {source}, build {build_dir}, log {log_path}", flush=True)
        if not build(source, build_dir, log):
            sys.exit(f"the unchanged code does not build: see {log_path}")
        failed = failing_tests(build_dir, log)
        if failed:
            sys.exit("the suite fails on the unchanged code: " + ", ".join(failed))

        rows = []
        for fault in faults:
            started = time.monotonic()
            path = source / fault["file"]
            count = occurrences(source, fault)
            if count != 1:
                verdict, detail = "stale", "no such file" if count < 0 else f"found {count} times"
            else:
                original = read(path)
                log.write(f"\n==== [{fault['name']}] {fault['file']}\n")
                log.flush()
                try:
                    write(path, original.replace(fault["find"], fault["into"]))
                    if not build(source, build_dir, log):
                        verdict, detail = "no-build", "the fault does not compile"
                    else:
                        failed = failing_tests(build_dir, log)
                        verdict = "caught" if failed else "SURVIVED"
                        detail = ", ".join(failed)
                finally:
                    write(path, original)
            seconds = time.monotonic() - started
            row = f"{verdict:8} [{fault['name']}] {fault['file']}: {fault['what']}"
            rows.append((verdict, row + (f" ({detail})" if detail else "")))
            shown = detail if len(detail) < 100 else detail[:100] + "..."
            print(row + (f" ({shown})" if shown else "") + f" [{seconds:.0f} s]", flush=True)
        build(source, build_dir, log)  # leave the build as the code stands

    counts = {v: sum(1 for verdict, _ in rows if verdict == v)
              for v in ("caught", "SURVIVED", "no-build", "stale")}
    summary = (f"{len(rows)} faults: {counts['caught']} caught, {counts['SURVIVED']} survived, "
               f"{counts['no-build']} did not build, {counts['stale']} stale "
               f"(tests of {args.tests_from or 'this checkout'})")
    results_path.write_text("\n".join(row for _, row in rows) + "\n" + summary + "\n")
    print(summary)
    print(f"results in {results_path}")
    return 0 if counts["stale"] == 0 and counts["no-build"] == 0 else 1


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--table", type=Path, default=DEFAULT_TABLE, help="the fault table")
    parser.add_argument("--scratch", type=Path, default=DEFAULT_SCRATCH,
                        help="where the scratch copy and its build folders live (kept)")
    parser.add_argument("--tests-from", metavar="REF",
                        help="take tests/ from this git ref instead of the checkout")
    parser.add_argument("--only", metavar="NAME,...", help="run only these faults")
    parser.add_argument("--check", action="store_true",
                        help="only check that every snippet stands once in the checkout")
    parser.add_argument("--no-browser", action="store_true", help="leave out the browser test")
    parser.add_argument("--stop-on-failure", action="store_true",
                        help="stop the suite at its first failing test (faster, names one test)")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    args = parser.parse_args()
    sys.exit(main())
