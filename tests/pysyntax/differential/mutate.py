#!/usr/bin/env python3
"""Mutation test: accept/reject agreement between our parser and CPython's `ast.parse`.

    /root/.pyenv/versions/3.13.0/bin/python3 mutate.py --pydump BUILD/tools/pydump \\
        [--count N] [--seed S] [--min-agreement 99.5] [--results FILE] ROOT...

Takes valid files below the roots (UTF-8, accepted by CPython, at most --max-bytes long) and
makes variants with one token deleted, duplicated, or swapped with the next one (tokens from
`tokenize`, so every mutant is still valid UTF-8 text); --mutations N applies N such changes. CPython's `ast.parse` and pydump
--verdicts each accept or reject every mutant; the run prints the agreement and fails when it
is below --min-agreement. --results writes every disagreement with the mutation, the source
line around it and both parsers' messages. The same seed gives the same mutants.
"""
import argparse
import ast
import io
import multiprocessing
import os
import pathlib
import random
import subprocess
import sys
import tokenize
import warnings

SKIPPED_TOKENS = {tokenize.ENCODING, tokenize.ENDMARKER, tokenize.DEDENT, tokenize.NL, tokenize.COMMENT}
OPERATIONS = ("delete", "duplicate", "swap")


def cpython_verdict(text):
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            ast.parse(text)
        return "OK"
    except SyntaxError as error:
        return "ERROR %s (line %s)" % (error.msg, error.lineno)
    except (ValueError, MemoryError, RecursionError) as error:
        return "ERROR %s" % type(error).__name__


def tokens_with_offsets(text):
    """The tokens worth mutating, as (start, end) character offsets into `text`."""
    line_starts = [0]
    for line in text.splitlines(keepends=True):
        line_starts.append(line_starts[-1] + len(line))
    spans = []
    try:
        for tok in tokenize.generate_tokens(io.StringIO(text).readline):
            if tok.type in SKIPPED_TOKENS or tok.start == tok.end:
                continue
            start = line_starts[tok.start[0] - 1] + tok.start[1]
            end = line_starts[tok.end[0] - 1] + tok.end[1]
            spans.append((start, end))
    except (tokenize.TokenError, SyntaxError):
        return []
    return spans


def mutate_at(text, spans, i, op):
    """`text` with one operation applied to token i (and i + 1 for a swap)."""
    start, end = spans[i]
    token = text[start:end]
    if op == "delete":
        return "delete %r" % token, text[:start] + text[end:]
    if op == "duplicate":
        return "duplicate %r" % token, text[:end] + token + text[end:]
    next_start, next_end = spans[i + 1]
    following = text[next_start:next_end]
    mutated = text[:start] + following + text[end:next_start] + token + text[next_end:]
    return "swap %r and %r" % (token, following), mutated


def mutate(text, spans, rng, count):
    """A mutant of `text` with `count` operations: (description, mutated text, first offset).
    The tokens are chosen apart and changed from the last to the first, so that each change
    leaves the offsets of the earlier tokens as they were."""
    chosen = sorted(rng.sample(range(0, len(spans) - 1, 2), min(count, len(spans) // 2)), reverse=True)
    descriptions = []
    for i in chosen:
        description, text = mutate_at(text, spans, i + rng.randrange(2) * (i + 2 < len(spans)), rng.choice(OPERATIONS))
        descriptions.append(description)
    return ", ".join(reversed(descriptions)), text, spans[chosen[-1]][0]


def load_candidates(roots, max_bytes):
    files = []
    for root in roots:
        path = pathlib.Path(root)
        if path.is_dir():
            files.extend(sorted(p for p in path.rglob("*.py") if p.is_file() and p.stat().st_size <= max_bytes))
    return files


def prepare(path):
    """(path, text, token spans) for a file CPython accepts, else None."""
    try:
        text = path.read_bytes().decode("utf-8")
    except (OSError, UnicodeDecodeError):
        return None
    if text.startswith("\ufeff"):
        text = text[1:]
    if cpython_verdict(text) != "OK":
        return None
    spans = tokens_with_offsets(text)
    return (str(path), text, spans) if len(spans) >= 2 else None


def judge(task):
    """Both verdicts for one batch of mutants of one file."""
    pydump, path, mutants = task
    records = bytearray()
    for _, text, _ in mutants:
        data = text.encode("utf-8")
        records += b"%d\n" % len(data) + data
    proc = subprocess.run([pydump, "--verdicts"], input=bytes(records), capture_output=True, timeout=300)
    ours = proc.stdout.decode("utf-8", "replace").split("\n")
    results = []
    for k, (description, text, offset) in enumerate(mutants):
        our = ours[k] if k < len(ours) and ours[k] else "CRASH (pydump exit %d)" % proc.returncode
        results.append((path, description, offset, text, our, cpython_verdict(text)))
    return results


def line_at(text, offset):
    start = text.rfind("\n", 0, offset) + 1
    end = text.find("\n", offset)
    return "%d: %s" % (text.count("\n", 0, offset) + 1, text[start:end if end >= 0 else len(text)].strip())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pydump", required=True)
    parser.add_argument("--count", type=int, default=20000, help="number of mutants")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--mutations", type=int, default=1, help="operations per mutant")
    parser.add_argument("--files", type=int, default=400, help="source files to draw from")
    parser.add_argument("--max-bytes", type=int, default=40000, help="skip larger source files")
    parser.add_argument("--min-agreement", type=float, default=99.5, help="percent")
    parser.add_argument("--results", help="write the disagreements to this file")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("roots", nargs="+")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    candidates = load_candidates(args.roots, args.max_bytes)
    if not candidates:
        print("skipped: no Python files under %s" % " ".join(args.roots))
        return 77
    chosen = rng.sample(candidates, min(args.files, len(candidates)))
    with multiprocessing.Pool(args.jobs) as pool:
        sources = [s for s in pool.map(prepare, chosen) if s is not None]
        per_file = -(-args.count // len(sources))
        tasks, made = [], 0
        for path, text, spans in sources:
            batch = []
            for _ in range(min(per_file, args.count - made)):
                batch.append(mutate(text, spans, rng, args.mutations))
            made += len(batch)
            if batch:
                tasks.append((args.pydump, path, batch))
        results = [r for batch in pool.map(judge, tasks) for r in batch]

    disagreements = [r for r in results if (r[4] == "OK") != (r[5] == "OK")]
    both_ok = sum(1 for r in results if r[4] == "OK" and r[5] == "OK")
    agreement = 100.0 * (len(results) - len(disagreements)) / len(results)
    if args.results:
        lines = []
        for path, description, offset, text, our, their in disagreements:
            lines.append("%s: %s at %s\n    ours:    %s\n    CPython: %s"
                         % (path, description, line_at(text, offset), our, their))
        pathlib.Path(args.results).write_text("\n".join(lines) + "\n", encoding="utf-8")
    for path, description, offset, text, our, their in disagreements[:10]:
        print("%s: %s at %s\n    ours: %s | CPython: %s" % (path, description, line_at(text, offset), our, their))
    print("mutation: %d mutants of %d files (seed %d), agreement %.2f%% (%d accepted by both, %d rejected by "
          "both, %d disagreements: we accept %d, we reject %d)"
          % (len(results), len(sources), args.seed, agreement, both_ok, len(results) - both_ok - len(disagreements),
             len(disagreements), sum(1 for r in disagreements if r[4] == "OK"),
             sum(1 for r in disagreements if r[4] != "OK")))
    return 0 if agreement >= args.min_agreement else 1


if __name__ == "__main__":
    sys.exit(main())
