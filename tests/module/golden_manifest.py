"""The demo's golden manifest, shared by the pytest suite and the interpreter smoke test (which
runs without pytest). Lists filled file by file follow the file system's listing order, which
differs between machines, so they are compared grouped by file, each file's entries in their
own order; everything else is compared as written."""
import json
import pathlib

GOLDEN = pathlib.Path(__file__).resolve().parent / "golden" / "demo_manifest.json"
DEMO = "examples/demo"  # relative, as the README's command passes it: paths in the manifest follow
FILE_ORDERED = ("agents", "tools", "llm_clients", "patterns", "unclassified_calls")


def normalise(manifest: dict) -> dict:
    result = dict(manifest)
    for key in FILE_ORDERED:
        if key in result:
            result[key] = sorted(result[key], key=lambda entry: entry["location"]["file"])
    return result


def render(manifest: dict) -> str:
    return json.dumps(normalise(manifest), indent=2, ensure_ascii=False) + "\n"


def check(text: str, update: bool = False) -> None:
    """Raises AssertionError when `text` (analyze_path's output for the demo) differs from the
    golden file; with `update`, rewrites the golden file instead."""
    manifest = json.loads(text)
    # Compact: exactly what Python's own compact dump of the same document gives.
    assert text == json.dumps(manifest, separators=(",", ":"), ensure_ascii=False), "not compact"
    rendered = render(manifest)
    if update:
        GOLDEN.parent.mkdir(exist_ok=True)
        GOLDEN.write_text(rendered, encoding="utf-8")
        return
    expected = GOLDEN.read_text(encoding="utf-8")
    assert rendered == expected, "demo manifest differs from %s (refresh with VESK_UPDATE_GOLDEN=1)" % GOLDEN
