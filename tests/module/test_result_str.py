"""analyze_path's result str, which the module builds itself instead of having CPython decode the
JSON text: for manifests of every width it must be exactly the str CPython's UTF-8 decoder makes
of the same bytes, in the same compact kind."""
import json
import os
import re
import sys

import pytest

CALLS = "def f():\n    a.b()\n    c.d(e.f())\n"


def write_files(root, files):
    """`files`: relative path (str, or bytes for a name that is not UTF-8) -> source text."""
    for relative, text in files.items():
        path = os.path.join(os.fsencode(root), os.fsencode(relative))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)


# Each case: the files of a tree and the largest code point its manifest must hold.
CASES = {
    "ascii": ({"app.py": CALLS}, 0x7D),
    "latin1": ({"caf\u00e9/\u00ff.py": CALLS}, 0xFF),
    "bmp": ({"\u0161\u00ea/\u65e5\u672c.py": CALLS}, 0x672C),
    "astral": ({"\U0001f600/a\u00e9.py": CALLS}, 0x1F600),
    "separators": ({"a\u2028b\u2029.py": CALLS}, 0x2029),
    "replacement": ({b"p\xffq.py": CALLS}, 0xFFFD),
    "escapes": ({'tab\t"q"\\\x1b\u00e9.py': CALLS}, 0xE9),
    # Tens of megabytes as a str of four-byte units: several steps of the conversion, and pages
    # advised for the str's buffer.
    "long_astral": ({"\U0001f600.py": "def f():\n" + "    a.b()\n" * 60_000}, 0x1F600),
}


@pytest.mark.parametrize("files, max_code_point", CASES.values(), ids=CASES.keys())
def test_the_str_is_the_one_cpython_decodes_from_the_same_bytes(vesk, tmp_path, files, max_code_point):
    write_files(tmp_path, files)
    result = vesk.analyze_path(str(tmp_path))
    decoded = result.encode("utf-8").decode("utf-8")
    assert result == decoded
    # The same kind and representation: a str of the same text in a wider kind is larger.
    assert sys.getsizeof(result) == sys.getsizeof(decoded)
    assert max(map(ord, result)) == max_code_point
    manifest = json.loads(result)
    walked = {os.fsdecode(os.fsencode(tmp_path) + b"/" + os.fsencode(relative)) for relative in files}
    shown = {call["location"]["file"] for call in manifest["unclassified_calls"]}
    # Path bytes that are not UTF-8 are shown as U+FFFD.
    assert shown == {re.sub("[\udc80-\udcff]", "\ufffd", path) for path in walked}


@pytest.mark.parametrize("files", [CASES[name][0] for name in ("ascii", "latin1", "bmp", "astral")],
                         ids=("ascii", "latin1", "bmp", "astral"))
def test_each_python_allocation_refused_in_turn_raises_memory_error(vesk, tmp_path, files):
    # The interpreter's allocations of the call refused from the n-th on, for n = 0, 1, ... until
    # the call gets through: the last one refused is the result str's own buffer, made last.
    testcapi = pytest.importorskip("_testcapi", reason="the interpreter has no _testcapi to refuse its allocations")
    write_files(tmp_path, files)
    expected = vesk.analyze_path(str(tmp_path))
    refused = 0
    for start in range(100):
        try:
            testcapi.set_nomemory(start)
            result = vesk.analyze_path(str(tmp_path))
        except MemoryError:
            refused += 1
        else:
            break
        finally:
            testcapi.remove_mem_hooks()
    assert refused > 0
    assert result == expected
