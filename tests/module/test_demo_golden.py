"""The demo project end to end against its golden manifest. Refresh the golden file with
VESK_UPDATE_GOLDEN=1 (or pytest's --update-golden) after a deliberate change, and read the diff."""
import json
import os

import golden_manifest
from conftest import SOURCE_DIR


def test_demo_manifest_matches_golden(vesk, monkeypatch, request):
    monkeypatch.chdir(SOURCE_DIR)
    update = os.environ.get("VESK_UPDATE_GOLDEN") == "1" or request.config.getoption("--update-golden")
    text = vesk.analyze_path(golden_manifest.DEMO)
    golden_manifest.check(text, update=update)
    # A second call gives the same document: nothing survives from one call to the next.
    again = vesk.analyze_path(golden_manifest.DEMO)
    assert golden_manifest.render(json.loads(again)) == golden_manifest.render(json.loads(text))
