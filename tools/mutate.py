#!/usr/bin/env python3
"""Mutation check of the core: plants each mutant of tools/mutants.txt in
turn, rebuilds the GoogleTest suites, runs them and restores the file.

A mutant is killed when the build succeeds and a test fails, crashes or
times out. It survives when every test passes. A mutant that does not
compile is a fault of the list, as is an original text that does not occur
exactly once in its file, and a mutant marked equivalent that the tests
kill after all. The exit status is 0 only when every mutant not marked
equivalent is killed and the list has no fault.

    python3 tools/mutate.py                 # the whole list
    python3 tools/mutate.py --only window   # mutants whose id or text matches
    python3 tools/mutate.py --list          # print the list, run nothing

Every mutated file is restored byte for byte, on success, on error and on
Ctrl-C. A copy of the original is kept under <build>/mutate-restore/ while
a mutant is planted; a later run restores anything a killed run left there.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTS = ("plugin_tests", "core_tests")
FIELDS = ("file", "desc", "old", "new", "equivalent")


class ListError(Exception):
    pass


class Mutant:
    def __init__(self, number, line):
        self.number = number
        self.line = line  # where its block starts in the list
        self.file = self.desc = self.old = self.new = self.equivalent = None

    @property
    def name(self):
        return "M%02d" % self.number


def parse(path):
    """The blocks of the list: `key: value` lines, a blank line between
    blocks, `#` comments. A line `  | text` continues the value above it
    with a newline and `text`, for texts of several lines."""
    mutants, current, last = [], None, None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, raw in enumerate(lines, 1):
        if raw.startswith("  |"):
            if current is None or last is None:
                raise ListError("%s:%d: continuation without a field" % (path, number))
            text = raw[3:]
            if text.startswith(" "):
                text = text[1:]
            setattr(current, last, getattr(current, last) + "\n" + text)
            continue
        stripped = raw.strip()
        if stripped.startswith("#"):
            continue
        if not stripped:
            current, last = None, None
            continue
        key, sep, value = raw.partition(":")
        key = key.strip()
        if not sep or key not in FIELDS:
            raise ListError("%s:%d: expected one of %s" % (path, number, ", ".join(FIELDS)))
        if current is None:
            current = Mutant(len(mutants) + 1, number)
            mutants.append(current)
        if getattr(current, key) is not None:
            raise ListError("%s:%d: %s given twice" % (path, number, key))
        # One space after the colon separates; the rest is the text as is.
        setattr(current, key, value[1:] if value.startswith(" ") else value)
        last = key
    for m in mutants:
        for key in ("file", "desc", "old", "new"):
            if getattr(m, key) is None:
                raise ListError("%s:%d: %s has no %s" % (path, m.line, m.name, key))
        if m.old == m.new:
            raise ListError("%s:%d: %s changes nothing" % (path, m.line, m.name))
    return mutants


def validate(mutants):
    """Every mutant's file is under core/ and its original text occurs in it
    exactly once; otherwise the list has rotted and nothing runs."""
    problems = []
    for m in mutants:
        if not m.file.startswith("core/") or ".." in m.file.split("/"):
            problems.append("%s: %s is not a file under core/" % (m.name, m.file))
            continue
        path = os.path.join(ROOT, m.file)
        if not os.path.isfile(path):
            problems.append("%s: %s does not exist" % (m.name, m.file))
            continue
        with open(path, "rb") as f:
            count = f.read().count(m.old.encode("utf-8"))
        if count != 1:
            problems.append("%s (%s): the original text occurs %d times in %s, not once:\n    %s"
                            % (m.name, m.desc, count, m.file, m.old))
    return problems


def show(mutants):
    for m in mutants:
        print("%s  %s  %s" % (m.name, m.file, m.desc))
        print("      - %s" % m.old.replace("\n", "\n        "))
        print("      + %s" % m.new.replace("\n", "\n        "))
        if m.equivalent:
            print("      equivalent: %s" % m.equivalent)


class Interrupted(Exception):
    pass


def on_signal(signum, frame):
    raise Interrupted("signal %d" % signum)


def restore_dir(build):
    return os.path.join(build, "mutate-restore")


def recover(build):
    """Restores what an earlier run, stopped by force, left mutated."""
    saved = restore_dir(build)
    if not os.path.isdir(saved):
        return
    for top, _, files in os.walk(saved):
        for name in files:
            copy = os.path.join(top, name)
            rel = os.path.relpath(copy, saved)
            target = os.path.join(ROOT, rel)
            with open(copy, "rb") as f:
                data = f.read()
            with open(target, "wb") as f:
                f.write(data)
            os.remove(copy)
            print("restored %s from an earlier run" % rel)
    shutil.rmtree(saved, ignore_errors=True)


def run(command, log, timeout=None):
    """Runs command from ROOT with its output appended to log; returns the
    exit status, or None when it ran out of time. The command runs in a
    process group of its own, and on a timeout or an interrupt the whole
    group is ended and waited for, so that no compiler still at work on a
    mutant outlives it (its object would look newer than the restored
    source)."""
    with open(log, "ab") as out:
        out.write(("\n$ %s\n" % " ".join(command)).encode())
        out.flush()
        process = subprocess.Popen(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            out.write(b"\n(timed out)\n")
            return None
        finally:
            if process.returncode is None:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait()


def build(build_dir, jobs, log):
    return run(["cmake", "--build", build_dir, "--target"] + list(TESTS) + ["-j%d" % jobs], log)


def test(build_dir, timeout, log):
    """'pass' when both suites pass, else what stopped them."""
    for name in TESTS:
        # A killed mutant needs one failure: stop there.
        command = [os.path.join(build_dir, "tests", name), "--gtest_brief=1", "--gtest_fail_fast"]
        status = run(command, log, timeout)
        if status is None:
            return "timeout in %s" % name
        if status < 0:
            return "crash in %s (signal %d)" % (name, -status)
        if status != 0:
            return "failure in %s" % name
    return "pass"


def failed_tests(log, start):
    """The names of the failed tests in the log from byte `start` on."""
    with open(log, "rb") as f:
        f.seek(start)
        text = f.read().decode("utf-8", "replace")
    names = re.findall(r"^\[  FAILED  \] (\S+)", text, re.M)
    return sorted(set(n for n in names if "." in n))


SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Planted:
    """The mutant in its file for the length of a `with` block; the file
    is restored byte for byte however the block ends. Signals wait while a
    file is being written, so that no write is cut short."""

    def __init__(self, m, build_dir):
        self.path = os.path.join(ROOT, m.file)
        self.copy = os.path.join(restore_dir(build_dir), m.file)
        self.m = m

    def __enter__(self):
        with open(self.path, "rb") as f:
            self.original = f.read()
        mutated = self.original.replace(self.m.old.encode("utf-8"), self.m.new.encode("utf-8"), 1)
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        try:
            os.makedirs(os.path.dirname(self.copy), exist_ok=True)
            with open(self.copy, "wb") as f:
                f.write(self.original)
            with open(self.path, "wb") as f:
                f.write(mutated)
        except BaseException:
            self.__exit__()
            raise
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)
        return self

    def __exit__(self, *exc):
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        try:
            with open(self.path, "wb") as f:
                f.write(self.original)
            if os.path.exists(self.copy):
                os.remove(self.copy)
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build-mutate", help="build directory (default %(default)s)")
    parser.add_argument("--list-file", default=os.path.join("tools", "mutants.txt"),
                        help="the mutant list (default %(default)s)")
    parser.add_argument("--only", metavar="PATTERN",
                        help="only mutants whose id (M07), file, description or text matches "
                             "this regular expression")
    parser.add_argument("--list", action="store_true", help="print the list and stop")
    parser.add_argument("--timeout", type=float, default=120,
                        help="seconds per test binary and mutant (default %(default)s)")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs (default %(default)s)")
    args = parser.parse_args()

    build_dir = os.path.join(ROOT, args.build) if not os.path.isabs(args.build) else args.build
    try:
        mutants = parse(os.path.join(ROOT, args.list_file))
    except ListError as e:
        print("mutate: %s" % e, file=sys.stderr)
        return 2
    if args.only:
        pattern = re.compile(args.only)
        mutants = [m for m in mutants
                   if pattern.search(m.name) or pattern.search(m.file) or pattern.search(m.desc)
                   or pattern.search(m.old) or pattern.search(m.new)]
    if args.list:
        show(mutants)
        problems = validate(mutants)
        for p in problems:
            print("mutate: " + p, file=sys.stderr)
        return 2 if problems else 0

    for sig in SIGNALS:
        signal.signal(sig, on_signal)
    os.makedirs(build_dir, exist_ok=True)
    recover(build_dir)
    problems = validate(mutants)
    if problems:
        print("mutate: the list does not fit the sources:", file=sys.stderr)
        for p in problems:
            print("  " + p, file=sys.stderr)
        return 2
    if not mutants:
        print("mutate: no mutant matches", file=sys.stderr)
        return 2

    log = os.path.join(build_dir, "mutate.log")
    open(log, "wb").close()
    print("log: %s" % os.path.relpath(log, ROOT))
    if not os.path.isfile(os.path.join(build_dir, "CMakeCache.txt")):
        print("configuring %s" % os.path.relpath(build_dir, ROOT))
        status = run(["cmake", "-S", ".", "-B", build_dir, "-DBUILD_OCTAVE_PLUGINS=OFF",
                      "-DBUILD_BENCHMARKS=OFF", "-DCMAKE_BUILD_TYPE=Release"], log)
        if status != 0:
            print("mutate: configuring failed; see the log", file=sys.stderr)
            return 2
    # The unmutated tree must build and pass, or no result means anything.
    if build(build_dir, args.jobs, log) != 0:
        print("mutate: the unmutated tree does not build; see the log", file=sys.stderr)
        return 2
    outcome = test(build_dir, args.timeout, log)
    if outcome != "pass":
        print("mutate: the unmutated tree does not pass its tests (%s); see the log" % outcome,
              file=sys.stderr)
        return 2

    results = []  # (mutant, verdict, detail)
    started = time.time()
    width = len(str(len(mutants)))
    try:
        for index, m in enumerate(mutants, 1):
            with Planted(m, build_dir):
                start = os.path.getsize(log)
                if build(build_dir, args.jobs, log) != 0:
                    verdict, detail = "not compiling", ""
                else:
                    outcome = test(build_dir, args.timeout, log)
                    if outcome == "pass":
                        verdict, detail = "survived", ""
                    else:
                        verdict = "killed"
                        names = failed_tests(log, start)
                        detail = outcome
                        if names:
                            more = " …" if len(names) > 3 else ""
                            detail += ": " + ", ".join(names[:3]) + more
            if m.equivalent and verdict == "survived":
                verdict = "equivalent"
            elif m.equivalent and verdict == "killed":
                verdict = "killed, marked equivalent"
            results.append((m, verdict, detail))
            print("[%*d/%d] %-4s %-26s %s  (%s)%s" % (width, index, len(mutants), m.name, verdict,
                                                    m.file, m.desc,
                                                    " — " + detail if detail else ""), flush=True)
    except Interrupted as e:
        shutil.rmtree(restore_dir(build_dir), ignore_errors=True)
        print("\nmutate: stopped by %s; every file is restored" % e, file=sys.stderr)
        return 130
    shutil.rmtree(restore_dir(build_dir), ignore_errors=True)
    # Leave the build matching the restored sources.
    build(build_dir, args.jobs, log)

    def having(*verdicts):
        return [r for r in results if r[1] in verdicts]

    killed = having("killed")
    survived = having("survived")
    equivalent = having("equivalent")
    broken = having("not compiling", "killed, marked equivalent")
    counted = len(results) - len(equivalent)
    print()
    print("%d mutants in %.0f s: %d killed, %d survived, %d equivalent, %d faults in the list"
          % (len(results), time.time() - started, len(killed), len(survived), len(equivalent),
             len(broken)))
    if counted:
        print("kill rate: %d/%d = %.1f%% (equivalent mutants not counted)"
              % (len(killed), counted, 100.0 * len(killed) / counted))
    if survived:
        print("\nsurvivors:")
        for m, _, _ in survived:
            print("  %s %s: %s\n      - %s\n      + %s" % (m.name, m.file, m.desc,
                                                         m.old.replace("\n", "\n        "),
                                                         m.new.replace("\n", "\n        ")))
    if equivalent:
        print("\nequivalent (survived, as argued in the list):")
        for m, _, _ in equivalent:
            print("  %s %s: %s\n      %s" % (m.name, m.file, m.desc, m.equivalent))
    if broken:
        print("\nfaults in the list:")
        for m, verdict, _ in broken:
            print("  %s %s (%s): %s" % (m.name, m.file, m.desc, verdict))
    return 0 if not survived and not broken else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Interrupted as e:
        # Before or after the mutants (configuring, the unmutated build):
        # no file is mutated then.
        print("\nmutate: stopped by %s" % e, file=sys.stderr)
        sys.exit(130)
