"""What an import of the module shows: its attributes, documentation and signatures."""
import inspect
import subprocess

ANALYZE_PATH_DOC = "\n".join([
    "Analyze a Python source tree and return a JSON-serialised BuildManifest.",
    "",
    "Arguments",
    "---------",
    "* `path` \u2014 root directory to scan (typically the project directory).",
    "* `pack_dir` \u2014 optional directory of YAML framework packs. If None,",
    "  defaults to `<path>/packs/frameworks/`. Falls back to an empty pack",
    "  set (no detection) if the directory does not exist.",
    "* `pattern_dir` \u2014 optional directory of YAML pattern packs. If None,",
    "  defaults to `<path>/packs/patterns/`.",
])


def test_module_attributes(vesk):
    assert vesk.__all__ == ["analyze_path", "autowrap_path", "suggest_yaml_diff", "__schema_version__"]
    assert type(vesk.__all__) is list
    assert vesk.__schema_version__ == "0.2.0"
    assert vesk.__doc__ == ""
    for name in vesk.__all__[:3]:
        function = getattr(vesk, name)
        assert function.__self__ is vesk
        assert function.__module__ == "vesk_analyzer"
        assert function.__name__ == name


def test_documentation_and_signatures(vesk):
    assert vesk.analyze_path.__doc__ == ANALYZE_PATH_DOC
    assert vesk.autowrap_path.__doc__ == "Auto-wrap stub \u2014 lands in PR-D with the decorator runtime."
    assert vesk.suggest_yaml_diff.__doc__.strip()  # wording is free, but there is one
    signatures = {
        "analyze_path": "(path, pack_dir=None, pattern_dir=None)",
        "autowrap_path": "(_path)",
        "suggest_yaml_diff": "(pack_dir, model_dir, calls_json, quantized=True, min_score=0.45, top_k=5, min_agree=3)",
    }
    for name, text in signatures.items():
        function = getattr(vesk, name)
        assert str(inspect.signature(function)) == text
        assert function.__text_signature__ == text
    parameters = inspect.signature(vesk.suggest_yaml_diff).parameters
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters.values())


def test_autowrap_path_returns_zero_for_any_str(vesk, tmp_path):
    for path in ["", "/no/such/place", str(tmp_path)]:
        result = vesk.autowrap_path(path)
        assert result == 0 and type(result) is int
    assert vesk.autowrap_path(_path="x") == 0


def test_the_init_function_is_the_only_exported_symbol(vesk):
    listing = subprocess.run(["nm", "-D", "--defined-only", vesk.__file__], capture_output=True, text=True,
                             check=True).stdout
    # Vague-linkage objects (typeinfo of standard types, kinds V, W and u) are shared by design.
    strong = [fields[2] for fields in map(str.split, listing.splitlines()) if fields[1] in "TDBR"]
    assert strong == ["PyInit_vesk_analyzer"]
