"""suggest_yaml_diff after its arguments: calls_json is read first, then the packs, then the notice."""
import json

import pytest

from conftest import write_tree

NOTICE = "the suggest mode is not available in this build of vesk_analyzer"
CALL = {"callee": "c.send", "resolved_callee": "httpx.Client.send", "function": "f",
        "location": {"file": "app.py", "line": 0}}


def raised_by(vesk, pack_dir, calls_json):
    with pytest.raises(RuntimeError) as raised:
        try:
            raise KeyError("being handled")
        except KeyError:
            vesk.suggest_yaml_diff(pack_dir, "/no/model", calls_json)
    assert len(raised.value.args) == 1
    assert raised.value.__context__ is None
    return raised.value.args[0]


@pytest.mark.parametrize("calls_json, message", [
    ("[]", NOTICE),
    ("[]\n", NOTICE),
    (json.dumps([CALL, dict(CALL, receiver_rewrite=None), ["a", "b", "r", "f", ["x", 3]]]), NOTICE),
    # A skipped value needs only to be well-formed: a lone surrogate escape or a number past the
    # double range is no fault in it.
    (r'[{"zz":"\udc00","n":-1e400,"callee":"a","resolved_callee":"a","function":"f","location":{"file":"x","line":0}}]',
     NOTICE),
    ("", "parsing calls_json: EOF while parsing a value at line 1 column 0"),
    ('{"schema_version":"0.2.0"}', "parsing calls_json: invalid type: map, expected a sequence at line 1 column 1"),
    ('[{"callee":"a","function":"f"}]', "parsing calls_json: missing field `resolved_callee` at line 1 column 30"),
    ("[] []", "parsing calls_json: trailing characters at line 1 column 4"),
])
def test_calls_json_is_read_before_anything_else(vesk, tmp_path, calls_json, message):
    assert raised_by(vesk, str(tmp_path / "no-packs"), calls_json) == message


def test_analyze_path_output_is_valid_calls_json(vesk, tmp_path):
    root = write_tree(tmp_path, {"app.py": "import os\n\ndef f(a):\n    return os.path.join(a, 'b')\n"})
    calls = json.loads(vesk.analyze_path(str(root))).get("unclassified_calls", [])
    assert raised_by(vesk, str(root / "none"), json.dumps(calls)) == NOTICE


def test_packs_are_loaded_after_calls_json_and_their_warnings_dropped(vesk, tmp_path):
    packs = write_tree(tmp_path / "packs", {"bad.yaml": "kind: [\n", "wrong.yaml": "schema_version: 1\nkind: x\nid: y\n"})
    assert raised_by(vesk, str(packs), "[]") == NOTICE
    write_tree(packs, {"unreadable.yaml/inner": ""})
    assert raised_by(vesk, str(packs), "[]") == f"loading framework packs: reading pack {packs}/unreadable.yaml"
    assert raised_by(vesk, str(packs), "[") == "parsing calls_json: EOF while parsing a list at line 1 column 1"
