"""A small call maps no memory of its own: its buffers come from the heap, which keeps them for the
next call, instead of pages mapped and unmapped on every call (whose unmapping flushes address
translations: over and over on a small project, that cost a third of the time)."""
import os
import re
import shutil
import subprocess
import sys

import pytest

import golden_manifest
from conftest import SOURCE_DIR

SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

# A first call, for whatever the interpreter sets up on its first use of anything; then the calls
# whose system calls count, between two markers written to standard output.
MARKED_CALLS = r"""
import os, sys, vesk_analyzer
vesk_analyzer.analyze_path(sys.argv[1])
os.write(1, b"<calls>\n")
for _ in range(3):
    vesk_analyzer.analyze_path(sys.argv[1])
os.write(1, b"</calls>\n")
"""


NEEDS_STRACE = pytest.mark.skipif(shutil.which("strace") is None,
                                  reason="strace is not installed (scripts/setup installs it)")


def traced_calls(tmp_path, calls):
    """The trace of MARKED_CALLS on the demo, for the system calls `calls` (strace's -e trace=
    classes and names), as lines, and the lines that the marked calls span."""
    trace = tmp_path / "trace"
    done = subprocess.run(["strace", "-f", "-e", f"trace={calls},write", "-o", str(trace),
                           sys.executable, "-c", MARKED_CALLS, golden_manifest.DEMO],
                          cwd=SOURCE_DIR, capture_output=True, text=True, timeout=120)
    if done.returncode != 0 and "ptrace" in done.stderr:
        pytest.skip(f"strace cannot trace here: {done.stderr.strip()[:200]}")
    assert done.returncode == 0, done.stderr
    lines = trace.read_text().splitlines()
    start = next(i for i, line in enumerate(lines) if "<calls>" in line)
    end = next(i for i, line in enumerate(lines) if "</calls>" in line)
    return lines, range(start, end)


@NEEDS_STRACE
@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator maps memory of its own for the heap")
def test_a_small_call_maps_no_memory_of_its_own(tmp_path):
    lines, marked = traced_calls(tmp_path, "memory")
    memory_call = re.compile(r"\b(mmap|munmap|mremap|madvise)\(")
    # The trace does show them: the interpreter's start-up maps memory.
    assert any(memory_call.search(line) for line in lines[:marked.start])
    assert [line for line in lines[marked.start:marked.stop] if memory_call.search(line)] == []


@NEEDS_STRACE
def test_a_call_draws_random_bytes_once(tmp_path):
    """Every hash table of a call is keyed from one draw of the system's random source, however many
    packs and tables the call makes (the demo reads several pack files, each with tables of its own)."""
    lines, marked = traced_calls(tmp_path, "getrandom")
    assert len([line for line in lines[marked.start:marked.stop] if "getrandom(" in line]) == 3
