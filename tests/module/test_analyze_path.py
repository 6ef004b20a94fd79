"""analyze_path end to end on small trees: the exact empty manifest, the default pack folders,
the order of warnings and the failure messages."""
import json
import os
import subprocess
import sys

import pytest

from conftest import FRAMEWORK_PACK, PATTERN_PACK, write_tree

EMPTY_MANIFEST = ('{"schema_version":"0.2.0","framework":null,"framework_candidates":[],"agents":[],'
                  '"tools":[],"llm_clients":[],"spawn_graph":[],"patterns":[],"deploy_target":null,'
                  '"warnings":[]}')

BAD_UTF8 = b"x = '\xff'\n"


def warnings_of(vesk, *args, **kwargs):
    return json.loads(vesk.analyze_path(*args, **kwargs))["warnings"]


def test_empty_folder_gives_the_exact_empty_manifest(vesk, tmp_path):
    result = vesk.analyze_path(str(tmp_path))
    assert type(result) is str
    assert result == EMPTY_MANIFEST


def test_default_pack_folders_join_without_doubling_slashes(vesk, tmp_path, monkeypatch):
    write_tree(tmp_path, {
        "proj/packs/frameworks/wrong.yaml": PATTERN_PACK.format(kind="pattern", id="p1"),
        "proj/packs/patterns/wrong.yaml": FRAMEWORK_PACK.format(id="f1").replace("kind: framework", "kind: Pattern"),
    })
    monkeypatch.chdir(tmp_path)
    expected = [
        "skipping proj/packs/frameworks/wrong.yaml: pack id=p1 has kind=pattern, expected `framework`",
        "skipping proj/packs/patterns/wrong.yaml: kind=Pattern (expected pattern)",
    ]
    assert warnings_of(vesk, "proj") == expected
    assert warnings_of(vesk, "proj/") == expected
    # Given folders are used as given: the empty text is a folder that does not exist.
    assert warnings_of(vesk, "proj", "", "") == []
    assert warnings_of(vesk, "proj", pattern_dir="") == expected[:1]
    # Swapped, the pattern pack loads as a pattern and the other is still of the wrong kind.
    assert warnings_of(vesk, "proj", pack_dir="proj/packs/patterns", pattern_dir="proj/packs/frameworks") == [
        "skipping proj/packs/patterns/wrong.yaml: pack id=f1 has kind=Pattern, expected `framework`",
    ]


def test_empty_root_reads_packs_below_the_working_directory(vesk, tmp_path, monkeypatch):
    write_tree(tmp_path, {"packs/frameworks/x.yaml": b"\xff"})
    monkeypatch.chdir(tmp_path)
    with pytest.raises(RuntimeError) as raised:
        vesk.analyze_path("")
    assert raised.value.args == ("loading framework packs: reading pack packs/frameworks/x.yaml",)
    os.remove(tmp_path / "packs/frameworks/x.yaml")
    with pytest.raises(RuntimeError) as raised:
        vesk.analyze_path("")
    assert raised.value.args == ("walking project: walking ",)


def test_warnings_come_framework_then_pattern_then_walk_order(vesk, tmp_path):
    root = write_tree(tmp_path, {
        "packs/frameworks/broken.yaml": "schema_version: [unclosed\n",
        "packs/patterns/other.yaml": PATTERN_PACK.format(kind="framework", id="p"),
        "app/one.py": BAD_UTF8,
        "app/two.py": BAD_UTF8,
    })
    walked = [name for name in os.listdir(root / "app")]  # the walk keeps listing order
    assert warnings_of(vesk, str(root)) == [
        f"skipping {root}/packs/frameworks/broken.yaml: parsing framework pack YAML",
        f"skipping {root}/packs/patterns/other.yaml: kind=framework (expected pattern)",
    ] + [f"parse error: io error reading {root}/app/{name}: stream did not contain valid UTF-8" for name in walked]


@pytest.mark.parametrize("layout, args, message", [
    # The root does not exist: its default pack folders do not either, so only the walk fails.
    ({}, ("{root}/missing",), "walking project: walking {root}/missing"),
    # So is a root that is a file: its default pack folders cannot be had either.
    ({"file": "x"}, ("{root}/file",), "walking project: walking {root}/file"),
    # A NUL ends no path early: the folder before it exists, yet the root named is another one.
    ({"app/a.py": "x = 1\n"}, ("{root}\0app",), "walking project: walking {root}\0app"),
    # A pack folder that cannot be listed fails first, even when the walk would fail too.
    ({"file": "x"}, ("{root}/missing", "{root}/file"), "loading framework packs: reading {root}/file"),
    ({"file": "x"}, ("{root}", None, "{root}/file"), "loading pattern packs: reading {root}/file"),
    ({"packs/patterns/dir.yaml/x": "x"}, ("{root}",),
     "loading pattern packs: reading pack {root}/packs/patterns/dir.yaml"),
    # A framework-pack failure stops the call before the pattern folder is looked at.
    ({"fw/a.yaml/x": "", "file": ""}, ("{root}", "{root}/fw", "{root}/file"),
     "loading framework packs: reading pack {root}/fw/a.yaml"),
])
def test_failures_raise_runtime_error_with_one_message(vesk, tmp_path, layout, args, message):
    write_tree(tmp_path, layout)
    root = str(tmp_path)
    call = [a.format(root=root) if a is not None else None for a in args]
    with pytest.raises(RuntimeError) as raised:
        try:
            raise KeyError("being handled")
        except KeyError:
            vesk.analyze_path(*call)
    assert raised.value.args == (message.format(root=root),)
    # The failure is the exception state itself, not raised over the caller's handled exception.
    assert raised.value.__context__ is None


@pytest.mark.skipif(os.geteuid() == 0, reason="root lists any folder")
def test_unlistable_subfolder_fails_with_the_root_named(vesk, tmp_path):
    locked = tmp_path / "a" / "locked"
    locked.mkdir(parents=True)
    (tmp_path / "a" / "ok.py").write_bytes(BAD_UTF8)
    locked.chmod(0)
    try:
        with pytest.raises(RuntimeError) as raised:
            vesk.analyze_path(str(tmp_path))
        assert raised.value.args == (f"walking project: walking {tmp_path}",)
    finally:
        locked.chmod(0o755)


def test_text_is_escaped_and_kept_in_utf8(vesk, tmp_path):
    name = 'caf\u00e9 "q"\t\u2028'
    root = write_tree(tmp_path, {f"{name}.py": BAD_UTF8})
    result = vesk.analyze_path(str(root))
    assert f'io error reading {root}/caf\u00e9 \\"q\\"\\t\u2028.py' in result
    assert json.loads(result)["warnings"] == [
        f"parse error: io error reading {root}/{name}.py: stream did not contain valid UTF-8"]

    # Bytes of a path that are not UTF-8 are shown as U+FFFD, so the result is still a str.
    folder = os.path.join(os.fsencode(tmp_path), b"p\xffq")
    os.mkdir(folder)
    with open(os.path.join(folder, b"a\xfe.py"), "wb") as source:
        source.write(BAD_UTF8)
    assert f"parse error: io error reading {root}/p\ufffdq/a\ufffd.py: stream did not contain valid UTF-8" in (
        warnings_of(vesk, str(root)))


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="the sanitizer needs unlimited address space")
@pytest.mark.parametrize("files", [
    # A list of four million elements needs far more than the 32 MiB of address space left.
    {"big.py": "x = [" + "1," * 4_000_000 + "]\n"},
    # The 17 MiB pack fits, but libyaml's buffer for its scalar doubles past what is left.
    {"packs/patterns/p.yaml": "schema_version: 1\nkind: pattern\nid: p\nzzz: " + "x" * (17 << 20) + "\n"},
], ids=["parser", "yaml_scalar"])
def test_exhausted_memory_raises_memory_error_and_the_process_lives_on(tmp_path, files):
    root = write_tree(tmp_path, files)
    child = (
        "import resource, sys, vesk_analyzer\n"
        "size = next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith('VmSize:')) * 1024\n"
        "resource.setrlimit(resource.RLIMIT_AS, (size + 2**25, size + 2**25))\n"
        "try:\n"
        "    vesk_analyzer.analyze_path(sys.argv[1])\n"
        "except MemoryError:\n"
        "    print('MemoryError')\n")
    done = subprocess.run([sys.executable, "-c", child, str(root)], capture_output=True, text=True)
    assert (done.returncode, done.stdout) == (0, "MemoryError\n"), done.stderr
