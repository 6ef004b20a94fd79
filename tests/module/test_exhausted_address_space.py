"""analyze_path when the address space runs out part way through. One generated 8 MB source file,
written like real code so that the parser, the analysis and the JSON text each take a large share,
is analysed in children whose RLIMIT_AS leaves from 40 MB to 200 MB above what they have mapped
once the module is imported. Every child must end in the manifest of an unlimited run or in
MemoryError, never in a signal or another exception, and must then, under the same limit, analyse
the demo exactly as its golden manifest has it: a failed call leaves nothing behind.

Skipped under the sanitizer: its shadow memory makes RLIMIT_AS meaningless, and its operator new
aborts where the real one throws std::bad_alloc, so no allocator limit of its own would do."""
import concurrent.futures
import hashlib
import json
import os
import shutil
import subprocess
import sys

import pytest

import golden_manifest
from conftest import SOURCE_DIR

pytestmark = pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                                reason="the sanitizer's shadow memory makes RLIMIT_AS meaningless")

MIB = 2**20
HEADROOMS = range(40 * MIB, 200 * MIB + 1, 5 * MIB)

HEAD = '''"""Generated support desk \\N{EM DASH} many desks, one router each."""
import asyncio
import json

import httpx
from loomwork import Crew, Worker, tools
from tessera import Agent, tool
from tessera.models import OpenAIModel
'''

# One desk: a class with an agent and a crew, a router that branches on the model's answer (one
# name only the full lowercase mapping reads, one NFKC changes), a retry loop, a parallel fan-out,
# and a decorator tool; strings with escapes, `\N{...}` names and f-strings.
DESK = '''

class Desk{i}(BaseDesk{k}):
    """Desk {i}: routes tickets \\N{{RIGHTWARDS ARROW}} billing, outage or storage."""
    limit = {i} * 3 + 0x{i:x}

    def __init__(self, name="desk-{i}", *, ﬁlter_{i}=None):
        self.name = name
        self.agent = Agent(name=f"agent-{{name}}-{i}", model=OpenAIModel(model="gpt-{k}"), instructions="Ticket {i}.")
        self.crew = Crew(name="crew-{i}", workers=[Worker(role="role-{i}", goal=f"goal {{name}}")])

    async def route(self, ticket):
        İNTENT_{i} = await self.agent.run(ticket.body, retries={k})
        if İNTENT_{i}.intent == "billing":
            return self.billing.handle(ticket, İNTENT_{i}, "billing-{i}")
        elif İNTENT_{i}.intent == "outage":
            return helpers.outage.page(ticket.id, severity={k}, note='outage {i}\\t\\u00e9\\N{{BLACK STAR}}')
        elif ｉｎｔｅｎｔ_{i} == "storage":
            return storage.tickets.archive(ticket, reason=b"storage-{i}")
        for attempt in range({k}):
            result = tools.invoke("lookup", ticket.id, attempt)
            if result.ok:
                break
        return await asyncio.gather(*[client.fetch(url) for url in ticket.urls])


@tool
def lookup_{i}(customer_id: str, month: str = "2024-{k:02d}") -> dict:
    response = httpx.get(f"https://billing.example/{{customer_id}}/{i}/{{month!r}}", timeout={k})
    response.raise_for_status()
    rows = json.loads(response.text)["rows"]
    return {{"id": customer_id, "rows": [row["value"] for row in rows if row["month"] == month], "n": {i}}}
'''

CHILD = r"""
import hashlib, json, resource, sys
import vesk_analyzer
root, demo, headroom = sys.argv[1], sys.argv[2], int(sys.argv[3])
mapped = next(int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize:")) * 1024
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (mapped + headroom, hard))
try:
    text = vesk_analyzer.analyze_path(root)
except MemoryError:
    text = None
demo_text = vesk_analyzer.analyze_path(demo)
resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
digest = None if text is None else hashlib.sha256(text.encode()).hexdigest()
print(json.dumps({"digest": digest, "demo": demo_text}))
"""


def write_project(root):
    parts = [HEAD]
    size = len(HEAD.encode())
    i = 0
    while size < 8 * MIB:
        desk = DESK.format(i=i, k=i % 7)
        parts.append(desk)
        size += len(desk.encode())
        i += 1
    root.mkdir()
    (root / "desks.py").write_text("".join(parts), encoding="utf-8")
    shutil.copytree(SOURCE_DIR / golden_manifest.DEMO / "packs", root / "packs")
    # Every function a pattern hit, so that the bulk records are as many as the functions.
    (root / "packs/patterns/every_function.yaml").write_text("schema_version: '1'\nkind: pattern\nid: every\n")


def analyse_in_child(root, headroom):
    done = subprocess.run([sys.executable, "-c", CHILD, str(root), golden_manifest.DEMO, str(headroom)],
                          cwd=SOURCE_DIR, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, (headroom // MIB, done.returncode, done.stderr[-2000:])
    return json.loads(done.stdout)


def test_each_limit_gives_the_manifest_or_memory_error_and_the_demo_after_it(vesk, tmp_path):
    root = tmp_path / "desks"
    write_project(root)
    unlimited = vesk.analyze_path(str(root))
    manifest = json.loads(unlimited)
    assert manifest["warnings"] == []
    assert len(manifest["patterns"]) > 10_000 and len(manifest["unclassified_calls"]) > 10_000
    expected = hashlib.sha256(unlimited.encode()).hexdigest()
    del unlimited, manifest

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        outcomes = list(pool.map(lambda headroom: analyse_in_child(root, headroom), HEADROOMS))
    for headroom, outcome in zip(HEADROOMS, outcomes):
        assert outcome["digest"] in (None, expected), f"{headroom // MIB} MB: a different manifest"
        golden_manifest.check(outcome["demo"])
    # The range is meant to reach from limits the analysis cannot live with to ones it can.
    digests = {outcome["digest"] for outcome in outcomes}
    assert None in digests and expected in digests, "resize the file: the limits no longer straddle its need"
