#!/usr/bin/env python3
"""Times CPython's `ast.parse` on the files bench/parse_bench parses, for the speed ratio.

    /root/.pyenv/versions/3.13.0/bin/python3 tools/cpython_parse_time.py [--repeat N] FOLDER_OR_FILE_OR_LIST.txt...

Same file selection as parse_bench (every `.py` below a folder, the lines of a ".txt" list,
other files as given; files that are not valid UTF-8 left out), texts read into memory first and
handed over as str (a leading BOM removed), single-threaded, best of N passes (default 3), by
the wall clock and by the thread's CPU time, like parse_bench.
"""
import argparse
import ast
import pathlib
import sys
import time
import warnings


def collect(arguments):
    files = []
    for argument in arguments:
        path = pathlib.Path(argument)
        if path.is_dir():
            files.extend(sorted(str(p) for p in path.rglob("*.py") if p.is_file()))
        elif argument.endswith(".txt") and len(argument) > 4:
            files.extend(line for line in path.read_text().splitlines() if line)
        else:
            files.append(argument)
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    texts, size, left_out = [], 0, 0
    for path in collect(args.paths):
        try:
            data = pathlib.Path(path).read_bytes()
            text = data.decode("utf-8")
        except (OSError, UnicodeDecodeError):
            left_out += 1
            continue
        size += len(data)
        texts.append(text[1:] if text.startswith("\ufeff") else text)
    best, best_cpu, rejected = None, None, 0
    warnings.simplefilter("ignore")
    for _ in range(max(1, args.repeat)):
        rejected = 0
        start, cpu_start = time.perf_counter(), time.thread_time()
        for text in texts:
            try:
                ast.parse(text)
            except (SyntaxError, ValueError, MemoryError, RecursionError):
                rejected += 1
        elapsed, cpu = time.perf_counter() - start, time.thread_time() - cpu_start
        best = elapsed if best is None else min(best, elapsed)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    mb = size / 1e6
    print("CPython %s ast.parse: %d files (%d rejected, %d left out), %.1f MB, best of %d: %.3f s, %.1f MB/s "
          "(thread CPU time %.3f s, %.1f MB/s)" % (sys.version.split()[0], len(texts), rejected, left_out, mb,
                                                 args.repeat, best, mb / best, best_cpu, mb / best_cpu))


if __name__ == "__main__":
    main()
