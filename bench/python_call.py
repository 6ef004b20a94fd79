#!/usr/bin/env python3
"""What a user of the module sees: one analyze_path call from Python, the result str included, in
a fresh interpreter each pass, single-threaded.

    bench/python_call.py [--repeat N] [--python PYTHON] [--module-dir DIR]
                         [--cpython-seconds S [--cpython-cpu-seconds C]] ROOT [PACK_DIR [PATTERN_DIR]]

Each pass starts PYTHON (default /usr/bin/python3) with the built module (DIR, default
build/release/module/python) on its path, imports it, and times the one call. Prints the best of
N passes (default 3) as source MB/s (10^6 bytes of the `.py` files the walk reads) by wall-clock
and by CPU time (the figure to trust on a busy machine), the peak resident memory above what the
interpreter had after the import (getrusage, in the child) beside the str's size (sys.getsizeof)
and the memory goal (the str and 32 MB), and, given the times CPython needs merely to `ast.parse`
the same files (tools/cpython_parse_time.py), how many times faster the whole call is.

Last, the fixed cost of a call from Python, the part that does not grow with the tree: in one
more interpreter, the best CPU time of many calls (after one that warms up) on an empty folder
with the case's pack folders and with none, and on a folder of empty `.py` files, which gives what
each file costs beyond its bytes (up to 200 calls each, fewer once they took 2 s).
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

CHILD = r"""
import json, resource, sys, time
sys.path.insert(0, sys.argv[1])
import vesk_analyzer
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start, cpu_start = time.perf_counter(), time.process_time()
text = vesk_analyzer.analyze_path(*sys.argv[2:])
seconds, cpu_seconds = time.perf_counter() - start, time.process_time() - cpu_start
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "cpu_seconds": cpu_seconds, "interpreter_kb": before, "peak_kb": after,
                  "str_bytes": sys.getsizeof(text), "code_points": len(text), "widest": max(map(ord, text))}))
"""

# argv: module dir, empty folder, folder of empty files, folder that does not exist, the number of
# calls, then the case's ROOT [PACK_DIR [PATTERN_DIR]].
FIXED_COST_CHILD = r"""
import json, sys, time
sys.path.insert(0, sys.argv[1])
import vesk_analyzer
from vesk_analyzer import analyze_path
empty, empty_files, missing, calls, root = sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), sys.argv[6]
def folder(index, name):
    return sys.argv[6 + index] if len(sys.argv) > 6 + index else root.rstrip("/") + "/packs/" + name
frameworks, patterns = folder(1, "frameworks"), folder(2, "patterns")
made = []
def best(*arguments):
    analyze_path(*arguments)
    least, total, count = None, 0.0, 0
    while count < calls and (count < 7 or total < 2.0):
        start = time.process_time()
        analyze_path(*arguments)
        spent = time.process_time() - start
        least = spent if least is None or spent < least else least
        total, count = total + spent, count + 1
    made.append(count)
    return least
print(json.dumps({"whole": best(empty, frameworks, patterns), "bare": best(empty, missing, missing),
                  "files": best(empty_files, frameworks, patterns), "calls": min(made)}))
"""
EMPTY_FILES = 100
FIXED_COST_CALLS = 200


def fixed_cost(args):
    """The best CPU times of a call on an empty tree with and without the packs, and on a tree of
    EMPTY_FILES empty files, many calls in one interpreter."""
    with tempfile.TemporaryDirectory() as top:
        empty, empty_files = os.path.join(top, "empty"), os.path.join(top, "empty_files")
        os.mkdir(empty)
        os.mkdir(empty_files)
        for i in range(EMPTY_FILES):
            open(os.path.join(empty_files, f"m{i}.py"), "w").close()
        done = subprocess.run([args.python, "-c", FIXED_COST_CHILD, os.path.abspath(args.module_dir), empty, empty_files,
                               os.path.join(top, "missing"), str(FIXED_COST_CALLS), *args.arguments],
                              capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"python_call: a fixed-cost call failed:\n{done.stderr}")
    return json.loads(done.stdout)


def source_bytes(root):
    """The bytes of the `.py` files the walk reads, by its rules: names beginning with "." and the
    folders "__pycache__" and "node_modules" passed over, links followed."""
    files = size = 0
    for folder, dirs, names in os.walk(root, followlinks=True):
        dirs[:] = [d for d in dirs if not d.startswith(".") and d not in ("__pycache__", "node_modules")]
        for name in names:
            if name.startswith(".") or not name.endswith(".py"):
                continue
            try:
                size += os.stat(os.path.join(folder, name)).st_size
                files += 1
            except OSError:
                pass
    return files, size


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--module-dir", default="build/release/module/python")
    parser.add_argument("--cpython-seconds", type=float)
    parser.add_argument("--cpython-cpu-seconds", type=float)
    parser.add_argument("arguments", nargs="+", metavar="ROOT [PACK_DIR [PATTERN_DIR]]")
    args = parser.parse_args()
    if len(args.arguments) > 3:
        parser.error("at most ROOT, PACK_DIR and PATTERN_DIR")
    files, size = source_bytes(args.arguments[0])
    passes = []
    for _ in range(max(1, args.repeat)):
        done = subprocess.run([args.python, "-c", CHILD, os.path.abspath(args.module_dir), *args.arguments],
                              capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit(f"python_call: the call failed:\n{done.stderr}")
        passes.append(json.loads(done.stdout))
    best = min(p["seconds"] for p in passes)
    best_cpu = min(p["cpu_seconds"] for p in passes)
    mb = size / 1e6
    print(f"Python call ({args.python}): source {files} files, {mb:.2f} MB")
    print(f"best of {len(passes)}: {best:.3f} s, {mb / best:.1f} MB/s, {files / best:.0f} files/s "
          f"(CPU time {best_cpu:.3f} s, {mb / best_cpu:.1f} MB/s, {files / best_cpu:.0f} files/s)")
    above = max((p["peak_kb"] - p["interpreter_kb"]) * 1024 for p in passes) / 1e6
    last = passes[-1]
    width = 1 if last["widest"] < 256 else 2 if last["widest"] < 65536 else 4
    str_mb = last["str_bytes"] / 1e6
    print(f"str: {str_mb:.2f} MB ({last['code_points']} code points, {width} byte(s) each); peak RSS above the "
          f"interpreter's own {last['interpreter_kb'] / 1024:.1f} MiB: {above:.1f} MB (goal: at most {str_mb + 32:.1f} MB)")
    if args.cpython_seconds:
        line = f"CPython ast.parse alone: {args.cpython_seconds:.3f} s; the call is {args.cpython_seconds / best:.1f}x faster"
        if args.cpython_cpu_seconds:
            line += f" (by CPU time: {args.cpython_cpu_seconds:.3f} s, {args.cpython_cpu_seconds / best_cpu:.1f}x)"
        print(line)
    cost = fixed_cost(args)
    us = 1e6
    print(f"fixed cost per call: {cost['whole'] * us:.0f} us (packs {(cost['whole'] - cost['bare']) * us:.0f} us; "
          f"a call without packs {cost['bare'] * us:.0f} us); each empty file "
          f"{(cost['files'] - cost['whole']) * us / EMPTY_FILES:.1f} us more; CPU time, best of {cost['calls']} "
          f"or more calls in one interpreter")


if __name__ == "__main__":
    main()
