#!/usr/bin/env python3
"""Which product lines each test function reaches, and which only it reaches.

Runs every test function of a coverage build on its own and prints, for each, the product lines
it runs that no other test function runs. A function that reaches nothing of its own repeats a
path another test takes: a candidate to fold into that test or to drop, if its checks add
nothing. Coverage is not checking: read both tests before dropping one. See HACKING.md.

  cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \\
        -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage
  cmake --build build-cov -j2
  scripts/overlap.py build-cov [--only tst_a,tst_b] [--save FILE]
"""
import argparse
import gzip
import json
import os
import pathlib
import subprocess
import sys

PRODUCT = ("app", "capture", "logfile", "settings", "posix")


def tests_of(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                             capture_output=True, text=True, check=True).stdout
    for test in json.loads(listing)["tests"]:
        command = test.get("command", [])
        if not command or not os.path.basename(command[0]).startswith("tst_"):
            continue
        env = {}
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                env.update(item.split("=", 1) for item in prop["value"])
            if prop["name"] == "WORKING_DIRECTORY":
                env["__cwd"] = prop["value"]
        yield test["name"], command, env


def functions_of(command, env):
    out = subprocess.run(command + ["-functions"], capture_output=True, text=True,
                         env={**os.environ, **env}).stdout
    return [line.strip().rstrip("()") for line in out.splitlines()
            if line.strip().endswith("()")]


def product_gcda(build):
    for top in PRODUCT:
        yield from (str(p) for p in pathlib.Path(build, top).rglob("*.gcda"))


def covered_lines(build, source_root):
    lines = set()
    gcda = list(product_gcda(build))
    if not gcda:
        return lines
    work = pathlib.Path(build, "overlap-gcov")
    work.mkdir(exist_ok=True)
    for old in work.glob("*.gcov.json.gz"):
        old.unlink()
    subprocess.run(["gcov", "--json-format", "--preserve-paths"] + gcda, cwd=work,
                   capture_output=True)
    for report in work.glob("*.gcov.json.gz"):
        with gzip.open(report, "rt") as handle:
            data = json.load(handle)
        for entry in data.get("files", []):
            name = os.path.normpath(os.path.join(data.get("current_working_directory", ""),
                                                 entry["file"]))
            if not name.startswith(source_root + os.sep):
                continue
            relative = os.path.relpath(name, source_root)
            if not relative.startswith(PRODUCT):
                continue
            for line in entry["lines"]:
                if line["count"] > 0:
                    lines.add(f"{relative}:{line['line_number']}")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--only", help="comma-separated test programs")
    parser.add_argument("--save", help="write the lines of each function to this JSON file")
    parser.add_argument("--load", help="read them from a file --save wrote, and run nothing")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    source_root = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
    if args.load:
        reached = {key: set(value) for key, value in json.load(open(args.load)).items()}
    else:
        reached = {}
        only = set(args.only.split(",")) if args.only else None
        for name, command, env in tests_of(build):
            if only and name not in only:
                continue
            cwd = env.pop("__cwd", None)
            for function in functions_of(command, env):
                for gcda in product_gcda(build):
                    os.unlink(gcda)
                run = subprocess.run(command + [function], capture_output=True, cwd=cwd,
                                     env={**os.environ, **env})
                key = f"{name}::{function}"
                reached[key] = covered_lines(build, source_root)
                status = "ok" if run.returncode == 0 else f"FAILED ({run.returncode})"
                print(f"{key}: {len(reached[key])} lines, {status}", file=sys.stderr)
        if args.save:
            json.dump({key: sorted(value) for key, value in reached.items()},
                      open(args.save, "w"))
    count = {}
    for lines in reached.values():
        for line in lines:
            count[line] = count.get(line, 0) + 1
    print("| test function | product lines reached | reached by no other | all reached by |")
    print("|---|---|---|---|")
    for key, lines in sorted(reached.items(),
                             key=lambda item: sum(count[l] == 1 for l in item[1])):
        own = sum(count[line] == 1 for line in lines)
        # The smallest other function that reaches every line this one does.
        wider = [other for other, more in reached.items() if other != key and lines <= more]
        within = min(wider, key=lambda other: len(reached[other]), default="")
        print(f"| {key} | {len(lines)} | {own} | {within} |")
    print(f"\n{len(count)} product lines reached by {len(reached)} test functions")


if __name__ == "__main__":
    main()
