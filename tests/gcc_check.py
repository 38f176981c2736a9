#!/usr/bin/env python3
"""gcc_check.py BUILD SOURCE: the programs' sources through g++.

The test build is clang's, and a plain build (make, make demo, a packager's)
uses the system's compiler, g++ on Debian. Each source of the programs and
their libraries in BUILD's compile_commands.json is checked with g++
-fsyntax-only, with the build's own language standard, include folders,
definitions and warning options (warnings are errors in make test). Sources of tests, fuzz targets and benchmarks
are clang's alone. Exits 77 (skipped) without g++.

The standard and libical headers most sources include are precompiled once
into BUILD/gcc_check (they were two fifths of the check's time) and
included first in every source; the clang build still sees each source's own
includes alone.
"""
import json
import os
import shlex
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

# The flags of a compile command that carry over: standard, include
# folders, definitions and warnings, with their values when those are
# separate arguments.
KEPT_WITH_VALUE = {"-I", "-isystem", "-D"}
KEPT_PREFIXES = ("-I", "-isystem", "-D", "-std=", "-W")
LEFT_OUT_FOLDERS = ("tests", "fuzz", "bench")
COMMON_HEADERS = ["string", "vector", "algorithm", "unordered_map", "cstdio", "cstring",
                  "cstdlib", "libical/ical.h"]


def program_source(path, source):
    relative = os.path.relpath(path, source)
    if relative.startswith("..") or relative.endswith("_test.cc"):
        return False
    return relative.split(os.sep)[0] not in LEFT_OUT_FOLDERS


def precompile_common_headers(compiler, folder):
    """The common headers' precompiled form in FOLDER, or None when g++
    cannot make it (the check then goes without)."""
    os.makedirs(folder, exist_ok=True)
    header = os.path.join(folder, "common.h")
    with open(header, "w") as f:
        f.writelines(f"#include <{name}>\n" for name in COMMON_HEADERS)
    result = subprocess.run([compiler, "-std=c++17", "-x", "c++-header", header,
                             "-o", header + ".gch"], capture_output=True, text=True)
    return header if result.returncode == 0 else None


def gcc_command(entry, compiler, common_header):
    arguments = entry.get("arguments") or shlex.split(entry["command"])
    command = [compiler, "-fsyntax-only"]
    if common_header:
        command += ["-include", common_header]
    i = 1
    while i < len(arguments):
        argument = arguments[i]
        if argument in KEPT_WITH_VALUE and i + 1 < len(arguments):
            command += [argument, arguments[i + 1]]
            i += 2
            continue
        if argument.startswith(KEPT_PREFIXES):
            command.append(argument)
        i += 1
    return command + [entry["file"]]


def check(job):
    entry, command = job
    result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
    return entry["file"], result.returncode, result.stderr


def main():
    if len(sys.argv) != 3:
        print("usage: gcc_check.py BUILD SOURCE", file=sys.stderr)
        return 2
    build, source = (os.path.realpath(a) for a in sys.argv[1:])
    compiler = shutil.which("g++")
    if compiler is None:
        print("g++ not found: the check with g++ is skipped")
        return 77
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    common_header = precompile_common_headers(compiler, os.path.join(build, "gcc_check"))
    jobs = {}
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if path.endswith(".cc") and program_source(path, source) and path not in jobs:
            jobs[path] = (entry, gcc_command(entry, compiler, common_header))
    if not jobs:
        print(f"no program source in {build}/compile_commands.json", file=sys.stderr)
        return 1
    failures = 0
    with ThreadPoolExecutor(max_workers=2) as pool:
        for path, status, errors in pool.map(check, jobs.values()):
            if status != 0:
                failures += 1
                print(f"{os.path.relpath(path, source)}: g++ fails:\n{errors}", file=sys.stderr)
    print(f"{len(jobs)} sources checked with {compiler}, {failures} failing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
