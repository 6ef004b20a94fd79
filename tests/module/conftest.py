"""Shared helpers of the module's pytest suite: the module under test and small project trees."""
import os
import pathlib

import pytest

import vesk_analyzer

SOURCE_DIR = pathlib.Path(os.environ.get("VESK_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))


def pytest_addoption(parser):
    parser.addoption("--update-golden", action="store_true", help="rewrite the golden manifest files")


@pytest.fixture
def vesk():
    return vesk_analyzer


def write_tree(root: pathlib.Path, files: dict) -> pathlib.Path:
    """Creates `files` (relative path -> str or bytes content) below `root`."""
    for relative, content in files.items():
        path = root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, bytes):
            path.write_bytes(content)
        else:
            path.write_text(content, encoding="utf-8")
    return root


FRAMEWORK_PACK = """\
schema_version: "0.2.0"
kind: framework
id: {id}
display_name: {id}
homepage: https://example.invalid/{id}
maintainer: vesk
version: "1"
detect:
  imports:
    - module: {id}
      weight: 0.5
"""

PATTERN_PACK = """\
schema_version: "0.2.0"
kind: {kind}
id: {id}
display_name: {id}
homepage: https://example.invalid/{id}
maintainer: vesk
version: "1"
match:
  min_llm_calls_per_function: 1
"""
