#!/usr/bin/env python3
"""Differential test of our parser against CPython's `ast.parse` on whole source trees.

    /root/.pyenv/versions/3.13.0/bin/python3 run_differential.py --pydump BUILD/tools/pydump \\
        [--sample K] [--report FILE] [--show N] ROOT_OR_FILE...

Run it with the reference interpreter (CPython 3.13): its `ast.parse` decides. For every `.py`
file below the roots that is valid UTF-8 (the others are read failures for the project walk and
are left out, counted), both parsers must accept or both reject, and accepted trees must dump to
the same canonical text (tools/pydump and tools/cpython_dump.py). Each mismatch is listed with
its kind and, for trees, the first differing dump line. A missing root is reported and skipped;
when none is present the run prints "skipped:" and exits 77. Exit 1 on any mismatch.

Both sides run in parallel: the files are cut into chunks, and each worker dumps its chunk with
CPython and with one pydump process.
"""
import argparse
import multiprocessing
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "tools"))
import cpython_dump  # noqa: E402

CHUNK = 24
TIMEOUT_SECONDS = 120


def collect(roots, pattern="*.py"):
    files, missing = [], []
    for root in roots:
        path = pathlib.Path(root)
        if path.is_dir():
            files.extend(sorted(str(p) for p in path.rglob(pattern) if p.is_file()))
        elif path.is_file():
            files.append(str(path))
        else:
            missing.append(root)
    return files, missing


def split_pydump_output(text):
    """{path: dump} from pydump's "=== PATH" sections."""
    dumps, path, lines = {}, None, []
    for line in text.split("\n"):
        if line.startswith("=== "):
            if path is not None:
                dumps[path] = "\n".join(lines).rstrip("\n")
            path, lines = line[4:], []
        else:
            lines.append(line)
    if path is not None:
        dumps[path] = "\n".join(lines).rstrip("\n")
    return dumps


def run_pydump(pydump, paths):
    """Our dumps of `paths`; a file on which pydump crashes or hangs gets an "ERROR CRASH" entry."""
    try:
        proc = subprocess.run([pydump, *paths], capture_output=True, timeout=TIMEOUT_SECONDS)
        dumps = split_pydump_output(proc.stdout.decode("utf-8", "replace"))
        failed = proc.returncode != 0
    except subprocess.TimeoutExpired:
        dumps, failed = {}, True
    if failed:
        if len(paths) == 1:
            return {paths[0]: "CRASH pydump exited abnormally or timed out"}
        # Rerun file by file what has no section, and the last section, which may be cut short.
        present = [p for p in paths if p in dumps]
        suspects = {p for p in paths if p not in dumps} | set(present[-1:])
        for path in paths:
            if path in suspects:
                dumps.update(run_pydump(pydump, [path]))
    return dumps


def first_difference(ours, theirs):
    a, b = ours.split("\n"), theirs.split("\n")
    for i in range(max(len(a), len(b))):
        x = a[i] if i < len(a) else "<end>"
        y = b[i] if i < len(b) else "<end>"
        if x != y:
            context = a[max(0, i - 3):i]
            return i + 1, x, y, context
    return None


def compare_chunk(task):
    pydump, paths = task
    sources = {}
    results = []
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            results.append((path, "unreadable", None))
            continue
        sources[path] = data
    ours_all = run_pydump(pydump, list(sources)) if sources else {}
    for path, data in sources.items():
        theirs = cpython_dump.dump_source(data)
        ours = ours_all.get(path, "CRASH no output")
        our_error = ours.startswith(("ERROR", "CRASH"))
        their_error = theirs.startswith("ERROR")
        if ours.startswith("CRASH"):
            results.append((path, "crash", ours))
        elif our_error and their_error:
            results.append((path, "rejected", None))
        elif our_error:
            results.append((path, "we reject, CPython accepts", ours))
        elif their_error:
            results.append((path, "we accept, CPython rejects", theirs))
        elif ours == theirs:
            results.append((path, "accepted", None))
        else:
            line, x, y, context = first_difference(ours, theirs)
            detail = "dump line %d\n      ours:    %s\n      CPython: %s" % (line, x.strip(), y.strip())
            if context:
                detail += "\n      after:   " + "\n               ".join(c.strip() for c in context)
            results.append((path, "trees differ", detail))
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pydump", required=True)
    parser.add_argument("--sample", type=int, default=1, help="check every K-th file only")
    parser.add_argument("--report", help="write every mismatch to this file")
    parser.add_argument("--show", type=int, default=15, help="mismatches printed in full")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--all-files", action="store_true",
                        help="take every file below a folder, not only .py (e.g. a fuzz corpus)")
    parser.add_argument("roots", nargs="+")
    args = parser.parse_args()

    if sys.version_info[:2] != (3, 13):
        print("warning: the reference is CPython 3.13, this is %s" % sys.version.split()[0])
    files, missing = collect(args.roots, "*" if args.all_files else "*.py")
    for root in missing:
        print("skipped: %s is absent" % root)
    if not files:
        print("skipped: no Python files under %s" % " ".join(args.roots))
        return 77
    files = files[:: max(1, args.sample)]
    tasks = [(args.pydump, files[i:i + CHUNK]) for i in range(0, len(files), CHUNK)]

    counts = {}
    mismatches = []
    with multiprocessing.Pool(args.jobs) as pool:
        for results in pool.imap_unordered(compare_chunk, tasks):
            for path, verdict, detail in results:
                counts[verdict] = counts.get(verdict, 0) + 1
                if detail is not None:
                    mismatches.append((path, verdict, detail))
    mismatches.sort()

    lines = ["%s: %s\n    %s" % (verdict, path, detail) for path, verdict, detail in mismatches]
    if args.report:
        pathlib.Path(args.report).write_text("\n".join(lines) + "\n", encoding="utf-8")
    for line in lines[: args.show]:
        print(line)
    if len(lines) > args.show:
        print("... %d more mismatches%s" % (len(lines) - args.show,
                                           " (all in %s)" % args.report if args.report else ""))
    checked = len(files) - counts.get("unreadable", 0)
    agreed = counts.get("accepted", 0) + counts.get("rejected", 0)
    print("differential: %d files checked (%d not UTF-8, left out), %d trees equal, %d rejected by both, "
          "%d mismatches" % (checked, counts.get("unreadable", 0), counts.get("accepted", 0),
                             counts.get("rejected", 0), checked - agreed))
    for verdict in ("we reject, CPython accepts", "we accept, CPython rejects", "trees differ", "crash"):
        if counts.get(verdict):
            print("  %s: %d" % (verdict, counts[verdict]))
    return 0 if checked == agreed else 1


if __name__ == "__main__":
    sys.exit(main())
