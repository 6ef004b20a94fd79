"""Import-and-analyse check run by smoke_interpreters.sh under each interpreter (no pytest there):
the module imports, shows its surface, and analyses the demo into the golden manifest."""
import sys

import golden_manifest
import vesk_analyzer

assert vesk_analyzer.__all__ == ["analyze_path", "autowrap_path", "suggest_yaml_diff", "__schema_version__"]
assert vesk_analyzer.__schema_version__ == "0.2.0"
golden_manifest.check(vesk_analyzer.analyze_path(golden_manifest.DEMO))
try:
    vesk_analyzer.analyze_path(None)
except TypeError as error:
    assert error.__notes__ == ["while processing 'path'"]
else:
    raise AssertionError("analyze_path(None) did not raise")
print("smoke: %s ok" % sys.version.split()[0])
