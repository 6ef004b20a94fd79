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
"""
import argparse
import json
import os
import subprocess
import sys

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
    print(f"best of {len(passes)}: {best:.3f} s, {mb / best:.1f} MB/s "
          f"(CPU time {best_cpu:.3f} s, {mb / best_cpu:.1f} MB/s)")
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


if __name__ == "__main__":
    main()
