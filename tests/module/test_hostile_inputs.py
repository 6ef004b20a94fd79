"""Trees built to hurt. analyze_path runs inside the caller's interpreter on trees nobody vetted,
with its packs read from the tree too, so each case below is one such folder, analysed in a child
process under limits a caller may well have (4 GiB of address space, 1,024 open files). Within
2 s of processor time (scaled under the sanitizers; processor time, so that a machine busy with
other tests does not decide) every case gives a manifest under 16 MB, or the RuntimeError its
case names: never a signal, a hang or a result blown up out of all proportion to its input."""
import dataclasses
import json
import os
import subprocess
import sys
from typing import Callable

import pytest

from conftest import write_tree

SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")
SECONDS = 2.0 * (10 if SANITIZED else 1)
MANIFEST_LIMIT = 16 * 2**20

# The sanitizer reserves terabytes of shadow memory, so under it the address-space limit becomes
# its own limit on resident memory.
CHILD = r"""
import json, resource, sys, time
if not int(sys.argv[2]):
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))
import vesk_analyzer
start, wall = time.process_time(), time.perf_counter()
try:
    text = vesk_analyzer.analyze_path(sys.argv[1])
except RuntimeError as error:
    outcome = {"error": str(error)}
else:
    manifest = json.loads(text)
    outcome = {
        "size": len(text.encode()),
        "warnings": [w[:300] for w in manifest["warnings"][:20]],
        "agents": [a["name"][:100] for a in manifest["agents"][:5]],
        "agent_count": len(manifest["agents"]),
        "pattern_files": [p["location"]["file"][-60:] for p in manifest["patterns"][:5]],
        "pattern_count": len(manifest["patterns"]),
        "unclassified_count": len(manifest.get("unclassified_calls", [])),
    }
outcome["seconds"] = time.process_time() - start
outcome["wall_seconds"] = time.perf_counter() - wall
print(json.dumps(outcome))
"""


@dataclasses.dataclass
class Case:
    name: str
    build: Callable  # (root) -> None: writes the tree below root
    check: Callable  # (outcome, root) -> None: asserts what the case must give


def source(text):
    return lambda root: write_tree(root, {"m.py": text})


def one_parse_error(kind):
    def check(outcome, root):
        assert outcome["warnings"] == [outcome["warnings"][0]], outcome["warnings"]
        assert outcome["warnings"][0].startswith(f"parse error: ruff parse error in {root}/m.py: ParseError {{ error: {kind}")
    return check


def parses_cleanly(outcome, root):
    assert outcome["warnings"] == [], outcome["warnings"]


def framework_pack(capture):
    return (
        "schema_version: '1'\nkind: framework\nid: k\n"
        "idioms:\n  agent:\n    - kind: class_instantiation\n      class: k.A\n"
        f"      capture:\n        name: \"{capture}\"\n")


def captured(capture, keywords):
    call = ", ".join(f"{name}={value!r}" for name, value in keywords.items())
    return lambda root: write_tree(root, {
        "packs/frameworks/k.yaml": framework_pack(capture),
        "m.py": f"from k import A\nA({call})\n",
    })


def one_agent(outcome, root):
    assert outcome["agent_count"] == 1


def agents_named(name, count=1):
    def check(outcome, root):
        assert outcome["agent_count"] == count and outcome["agents"] == [name] * min(count, 5), outcome
    return check


def many_rules(rules, keywords):
    rule = "    - kind: class_instantiation\n      class: k.A\n      capture:\n        name: \"{kwarg('a')}\"\n"
    call = ", ".join(["a='x'"] + [f"k{i}={i}" for i in range(keywords)])
    return lambda root: write_tree(root, {
        "packs/frameworks/k.yaml": "schema_version: '1'\nkind: framework\nid: k\nidioms:\n  agent:\n" + rule * rules,
        "m.py": f"from k import A\nA({call})\n",
    })


def rules_over_lines(rules, line, count):
    """One pack of `count` rules and one file of `count` lines, line i naming what rule i names."""
    head = "schema_version: '1'\nkind: framework\nid: k\n"
    return lambda root: write_tree(root, {
        "packs/frameworks/k.yaml": head + rules + "".join(f"    - {line[0].format(i=i)}\n" for i in range(count)),
        "m.py": "import k\n" + "".join(line[1].format(i=i) for i in range(count)),
    })


def numbered_agents(prefix, count):
    def check(outcome, root):
        expected = [f"{prefix}{i}" for i in range(min(count, 5))]
        assert outcome["agent_count"] == count and outcome["agents"] == expected, outcome
    return check


def symlink_lattice(levels):
    def build(root):
        for level in range(levels + 1):
            folder = root / f"l{level}"
            folder.mkdir()
            (folder / "m.py").write_text("def f():\n    os.path.join()\n")
        (root / f"l{levels}" / "bottom.py").write_text("(\n")
        for level in range(levels):
            for link in ("x", "y"):
                os.symlink(root / f"l{level + 1}", root / f"l{level}" / link)
    return build


def each_level_walked_three_times(levels):
    """Every level below l0 is reached under its own name and through the links above it, along
    twice as many paths as the level before: each is walked under the first three, so the
    bottom's broken file is reported three times, each time under a path that reaches it."""
    def check(outcome, root):
        assert outcome["unclassified_count"] == 1 + 3 * levels, outcome
        head, tail = f"parse error: ruff parse error in {root}/l", "/bottom.py: ParseError"
        assert len(outcome["warnings"]) == 3 and all(w.startswith(head) for w in outcome["warnings"]), outcome
        paths = [w[len(head):w.index(tail)].split("/") for w in outcome["warnings"]]
        assert all(int(path[0]) + len(path) - 1 == levels and set(path[1:]) <= {"x", "y"} for path in paths), paths
        assert len({tuple(path) for path in paths}) == 3, paths
    return check


def nested_folders(depth):
    def build(root):
        folder = root
        for _ in range(depth):
            folder = folder / "d"
            folder.mkdir()  # os.makedirs recurses once per level
        (folder / "m.py").write_text("def f():\n    pass\n")
        write_tree(root, {"packs/patterns/every.yaml": "schema_version: 1\nkind: pattern\nid: every\n"})
    return build


def deep_and_wide(depth, files):
    """`files` sources at the bottom of `depth` nested folders: the first and the last of them in
    the bottom's listing define a function, the others do not."""
    def build(root):
        write_tree(root, {"packs/patterns/every.yaml": "schema_version: 1\nkind: pattern\nid: every\n"})
        folder = os.open(root, os.O_RDONLY)
        for _ in range(depth):
            os.mkdir("d", dir_fd=folder)
            inner = os.open("d", os.O_RDONLY, dir_fd=folder)
            os.close(folder)
            folder = inner
        for index in range(files):
            write_at(folder, f"w{index}.py", "x = 1\n")
        names = listed_bottom(folder)
        for name in (names[0], names[-1]):
            write_at(folder, name, "def f():\n    pass\n")
        os.close(folder)
    return build


def write_at(folder, name, text):
    file = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, dir_fd=folder)
    os.write(file, text.encode())
    os.close(file)


def listed_bottom(folder):
    return [entry.name for entry in os.scandir(folder)]


def first_and_last_at_the_bottom(depth):
    def check(outcome, root):
        folder = os.open(root.joinpath(*["d"] * depth), os.O_RDONLY)
        names = listed_bottom(folder)
        os.close(folder)
        assert outcome["warnings"] == []
        assert outcome["pattern_count"] == 2, outcome
        assert [path.split("/")[-1] for path in outcome["pattern_files"]] == [names[0], names[-1]]
        assert all(path.endswith("/d/d/" + path.split("/")[-1]) for path in outcome["pattern_files"])
    return check


def file_links(links, functions):
    def build(root):
        body = "".join(f"def f{i}(a):\n    return os.path.join(a)\n" for i in range(functions))
        write_tree(root, {"real/big.py": body})
        for index in range(links):
            os.symlink("real/big.py", root / f"l{index}.py")
    return build


def read_three_times(functions):
    def check(outcome, root):
        assert outcome["warnings"] == []
        assert outcome["unclassified_count"] == 3 * functions, outcome
    return check


def pack_links(links):
    def build(root):
        write_tree(root, {
            "pack.txt": PATTERN_HEAD + "zzz: [" + "1, " * 100_000 + "]\n",
            "m.py": "def f():\n    pass\n",
        })
        (root / "packs/patterns").mkdir(parents=True)
        for index in range(links):
            os.symlink("../../pack.txt", root / f"packs/patterns/l{index}.yaml")
    return build


def pack_read_three_times(outcome, root):
    assert outcome["warnings"] == []
    assert outcome["pattern_count"] == 3, outcome


def removed_after(check):
    """The check, and then the tree removed by rm, which does not recurse once per level as
    Python's removal does: left to pytest, a tree this deep would stay behind in /tmp."""
    def run(outcome, root):
        try:
            check(outcome, root)
        finally:
            subprocess.run(["rm", "-rf", str(root)], check=False)
    return run


def reached_the_bottom(outcome, root):
    assert outcome["warnings"] == []
    assert outcome["pattern_count"] == 1 and outcome["pattern_files"][0].endswith("/d/d/m.py")


def pattern_pack(text):
    return lambda root: write_tree(root, {"packs/patterns/p.yaml": text})


def pack_skipped(outcome, root):
    assert len(outcome["warnings"]) == 1
    assert outcome["warnings"][0].startswith(f"skipping {root}/packs/patterns/p.yaml: ")



def nested_functions(depth, calls):
    lines = [" " * level + f"def f{level}():" for level in range(depth)]
    lines.append(" " * depth + ";".join(["a.b()"] * calls))
    return source("\n".join(lines) + "\n")


def unclassified_calls(count):
    def check(outcome, root):
        assert outcome.get("unclassified_count") == count, outcome
    return check


def budget_refused(outcome, root):
    assert outcome.get("error", "").startswith("serialising manifest: the manifest would be larger than "), outcome


PATTERN_HEAD = "schema_version: 1\nkind: pattern\nid: p\n"

CASES = [
    # Operator chains that recurse in the parser.
    Case("power_chain", source("x = 1" + "**1" * 300_000), one_parse_error("NestingTooDeep")),
    Case("await_power_chain", source("async def f():\n    x = await a" + "**await a" * 300_000),
         one_parse_error("NestingTooDeep")),
    Case("decorator_power_chain", source("@a" + "**a" * 300_000 + "\ndef f(): pass\n"),
         one_parse_error("NestingTooDeep")),
    # Texts the lexer searched to the same far byte again and again, and debug fields nested in
    # f-strings that each kept a copy of the text inside them.
    Case("comments_ended_by_carriage_returns", source("#\r" * 2_000_000), parses_cleanly),
    Case("escapes_in_triple_quoted_string", source("x = '''" + "\\n" * 2_000_000 + "'''\n"), parses_cleanly),
    Case("comments_in_nested_debug_fields", source(
        "x = " + 'f"""{' * 148 + "[a" + ", # c\n a" * 500_000 + "]" + '=}"""' * 148 + "\n"), parses_cleanly),
    # Capture templates whose replacements feed on each other.
    Case("capture_doubling", captured("{kwarg('a')}{kwarg('a')}", {"a": "{kwarg('a')}" * 20_000}), agents_named("")),
    Case("capture_cycle", captured("{kwarg('a')}{kwarg('b')}{kwarg('c')}", {
        "a": "{kwarg('b')}" * 300, "b": "{kwarg('c')}" * 300, "c": "{kwarg('a')}" * 300}), agents_named("")),
    Case("capture_many_placeholders", captured("".join(f"{{kwarg('k{i}')}}" for i in range(100_000)), {"k7": "x"}),
         agents_named("x")),
    Case("capture_placeholders_trading_places", captured("{kwarg('a')}{kwarg('b')}" * 50_000, {
        "a": "{kwarg('b')}", "b": "{kwarg('a')}"}), agents_named("")),
    Case("capture_value_of_quotes", captured("{kwarg('a')}", {"a": "'" * 2_000_000}), agents_named("")),
    Case("capture_rules_times_keywords", many_rules(4_000, 4_000), agents_named("x", 4_000)),
    # Many rules, each named by one line of a long file: every call, decorator and import meets
    # only the rules that name it.
    Case("class_rules_over_calls", rules_over_lines(
        "idioms:\n  agent:\n", ("{{kind: class_instantiation, class: k.A{i}}}", "k.A{i}()\n"), 40_000),
         numbered_agents("k.A", 40_000)),
    Case("decorator_rules_over_definitions", rules_over_lines(
        "idioms:\n  agent:\n", ("{{kind: decorator, name: k.d{i}, target: function}}", "@k.d{i}\ndef f{i}(): pass\n"),
        40_000), numbered_agents("f", 40_000)),
    Case("import_rules_over_imports", rules_over_lines(
        "detect:\n  imports:\n", ("{{module: m{i}.x, weight: 0.5}}", "import m{i}\n"), 40_000), parses_cleanly),
    # Folders reached through many paths, and folders nested past the open-file limit.
    Case("symlink_lattice", symlink_lattice(40), each_level_walked_three_times(40)),
    Case("nested_folders", nested_folders(1500), removed_after(reached_the_bottom)),
    Case("deep_and_wide", deep_and_wide(1500, 20_000), removed_after(first_and_last_at_the_bottom(1500))),
    # One file, or one pack, under a thousand names.
    Case("file_links", file_links(1000, 5_000), read_three_times(5_000)),
    Case("pack_links", pack_links(1000), pack_read_three_times),
    # Pack files that nest deeper than any pack needs, under a key the reader skips.
    Case("flow_sequences_under_skipped_key", pattern_pack(PATTERN_HEAD + "zzz: " + "[" * 100_000 + "]" * 100_000),
         pack_skipped),
    Case("flow_mappings_under_skipped_key", pattern_pack(PATTERN_HEAD + "zzz: " + "{a: " * 100_000 + "}" * 100_000),
         pack_skipped),
    # Directives that libyaml compares with one another before the document begins.
    Case("tag_directives_before_a_pattern_pack",
         pattern_pack("".join(f"%TAG !t{i}! tag:x:\n" for i in range(100_000)) + "---\n" + PATTERN_HEAD), pack_skipped),
    # One long text repeated by every record that shows it, and records repeated by nesting.
    Case("long_function_name_over_many_calls",
         source("def " + "f" * 400_000 + "():\n" + "    a.b()\n" * 60_000), budget_refused),
    Case("long_import_target_over_many_calls",
         source("from " + "m." * 100_000 + "m import a\ndef f():\n" + "    a.b()\n" * 60_000),
         unclassified_calls(60_000)),
    Case("long_class_name_over_many_methods",
         source("class " + "C" * 400_000 + ":\n" + "    def m(self): pass\n" * 60_000), unclassified_calls(0)),
    Case("long_pattern_name_over_many_functions", lambda root: write_tree(root, {
        "packs/patterns/p.yaml": PATTERN_HEAD + "display_name: " + "d" * 400_000 + "\n",
        "m.py": "".join(f"def f{i}(): pass\n" for i in range(60_000))}), budget_refused),
    Case("nested_functions_repeat_their_calls", nested_functions(99, 3_000), budget_refused),
]


@pytest.mark.parametrize("case", CASES, ids=[case.name for case in CASES])
def test_hostile_tree_is_analysed_quickly_into_a_bounded_manifest(case, tmp_path):
    root = tmp_path / "root"
    root.mkdir()
    case.build(root)
    env = dict(os.environ)
    if SANITIZED:
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":hard_rss_limit_mb=4096"
    done = subprocess.run([sys.executable, "-c", CHILD, str(root), str(int(SANITIZED))],
                          capture_output=True, text=True, env=env, timeout=120)
    assert done.returncode == 0, (done.returncode, done.stderr[-2000:])
    outcome = json.loads(done.stdout)
    assert outcome["seconds"] < SECONDS, outcome
    assert outcome.get("size", 0) < MANIFEST_LIMIT, outcome
    case.check(outcome, root)
