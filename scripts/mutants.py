#!/usr/bin/env python3
"""Applies each fault of tests/faults.txt to a copy of the tree, rebuilds, and runs the tests.

A fault is killed when a test fails with it in place; it survives when the whole suite passes.
Usage: scripts/mutants.sh [--only ID[,ID...]] [--check] [--keep DIR]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIELDS = ("fault", "file", "from", "to", "tests", "sees")


def read_catalogue(path):
    faults, current = [], {}
    with open(path, encoding="utf-8") as catalogue:
        for number, line in enumerate(catalogue, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                if current:
                    faults.append(current)
                current = {}
                continue
            key, sep, value = line.partition(": ")
            if not sep or key not in FIELDS:
                sys.exit(f"{path}:{number}: expected one of {', '.join(FIELDS)}, then ': '")
            # A fault that needs the next line to be unique writes its line break as \n.
            current[key] = value.replace("\\n", "\n") if key in ("from", "to") else value
            current.setdefault("line", number)
    if current:
        faults.append(current)
    for fault in faults:
        missing = [key for key in FIELDS if key not in fault]
        if missing:
            sys.exit(f"{path}:{fault['line']}: fault lacks {', '.join(missing)}")
    ids = [fault["fault"] for fault in faults]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: a fault name is used twice")
    return faults


def occurrences(tree, fault):
    with open(os.path.join(tree, fault["file"]), encoding="utf-8") as source:
        return source.read().count(fault["from"])


def run(command, cwd, timeout=None):
    try:
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, timeout=timeout)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as expired:
        return -1, (expired.stdout or b"").decode(errors="replace") if isinstance(
            expired.stdout, bytes) else (expired.stdout or "")


def failed_tests(output):
    return re.findall(r"^\s*\d+ - (\S+) \(", output, re.MULTILINE)


def ctest(tree, pattern=None):
    command = ["ctest", "--test-dir", "build", "-j2", "--timeout", "180"]
    if pattern:
        command += ["-R", pattern]
    code, output = run(command, tree, timeout=1800)
    if code == 0:
        return []
    return failed_tests(output) or ["ctest " + ("timed out" if code < 0 else f"exit {code}")]


def prepare(tree):
    """A copy of the tracked files, configured and built once."""
    os.makedirs(tree, exist_ok=True)
    files = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, stdout=subprocess.PIPE,
                           check=True).stdout.decode().split("\0")
    for name in filter(None, files):
        target = os.path.join(tree, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        source = os.path.join(ROOT, name)
        if os.path.isfile(source) and (not os.path.exists(target) or
                                       open(source, "rb").read() != open(target, "rb").read()):
            shutil.copy(source, target)  # a fresh time stamp, so make rebuilds it
    if not os.path.exists(os.path.join(tree, "build", "CMakeCache.txt")):
        code, output = run(["cmake", "--preset", "dev"], tree)
        if code != 0:
            sys.exit(output)
    code, output = run(["cmake", "--build", "build", "-j2"], tree)
    if code != 0:
        sys.exit("the clean copy does not build:\n" + output[-3000:])


def try_fault(tree, fault):
    path = os.path.join(tree, fault["file"])
    with open(path, encoding="utf-8") as source:
        clean = source.read()
    try:
        with open(path, "w", encoding="utf-8") as source:
            source.write(clean.replace(fault["from"], fault["to"], 1))
        code, output = run(["cmake", "--build", "build", "-j2"], tree)
        if code != 0:
            return "does not build", output[-2000:]
        first = "|".join(f"^{name}$" for name in fault["tests"].split())
        failed = ctest(tree, first) if first else []
        if not failed:
            failed = ctest(tree)
        return ("killed by " + ", ".join(failed)) if failed else "SURVIVED", ""
    finally:
        with open(path, "w", encoding="utf-8") as source:
            source.write(clean)
        # The next build must see the clean file as changed again, whatever its time stamp.
        os.utime(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", help="comma-separated fault names")
    parser.add_argument("--check", action="store_true",
                        help="only check that every fault applies to the tree, once")
    parser.add_argument("--keep", default=os.path.join(
        os.environ.get("TMPDIR", "/tmp"), "tavrel-mutants"), help="where the copy is built")
    args = parser.parse_args()
    faults = read_catalogue(os.path.join(ROOT, "tests", "faults.txt"))
    if args.only:
        wanted = set(args.only.split(","))
        faults = [fault for fault in faults if fault["fault"] in wanted]
    bad = [f"{fault['fault']}: '{fault['from']}' found {occurrences(ROOT, fault)} times in "
           f"{fault['file']}" for fault in faults if occurrences(ROOT, fault) != 1]
    if bad:
        print("\n".join(bad))
        return 2
    if args.check:
        print(f"{len(faults)} faults, each applies once")
        return 0
    started = time.time()
    prepare(args.keep)
    rows, survived = [], 0
    for number, fault in enumerate(faults, 1):
        began = time.time()
        outcome, detail = try_fault(args.keep, fault)
        survived += not outcome.startswith("killed")
        rows.append((fault["fault"], outcome, time.time() - began))
        print(f"[{number}/{len(faults)}] {fault['fault']}: {outcome} ({time.time() - began:.0f} s)",
              flush=True)
        if detail:
            print(detail, flush=True)
    width = max(len(name) for name, _, _ in rows)
    print(f"\n| {'fault'.ljust(width)} | outcome |")
    print(f"|{'-' * (width + 2)}|---------|")
    for name, outcome, _ in rows:
        print(f"| {name.ljust(width)} | {outcome} |")
    print(f"\n{len(rows) - survived} of {len(rows)} killed, {survived} not; "
          f"{(time.time() - started) / 60:.1f} minutes")
    return 1 if survived else 0


if __name__ == "__main__":
    sys.exit(main())
