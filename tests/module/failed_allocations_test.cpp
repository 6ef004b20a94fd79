// Every allocation of one analysis made to fail in turn: the walk, the parse, the analysis and the
// JSON text of a small project, with the n-th request for memory refused for n = 1, 2, ... up to
// the number an undisturbed run makes. Each run must end in std::bad_alloc (which the module turns
// into MemoryError) or give exactly the undisturbed manifest, and must leave no block allocated
// and no page mapped behind it. A request is whatever the analysis, libstdc++, glibc (opendir) or
// ICU asks of malloc, operator new, mmap or mremap; this program replaces all of them.
//
// Left alone: the requests of libyaml and RE2 for themselves, which those libraries are not
// written to survive (what their callers make of them is tested with the callers), and the
// nothrow operator new, whose callers (std::stable_sort) do without the memory by contract. The
// packs, which libyaml reads, are loaded before anything is refused.
//
// The sanitizer build owns malloc itself, so there the test is skipped.
#include <gtest/gtest.h>

#include "address_sanitizer.h"

#if VESK_ADDRESS_SANITIZER

TEST(FailedAllocations, EachOneEndsTheAnalysisInBadAllocAndLeavesNothingBehind) {
  GTEST_SKIP() << "the sanitizer replaces malloc itself";
}

#else

#include <execinfo.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/analyze.h"
#include "detect/packs.h"
#include "detect/record_list.h"
#include "detect/walk/temp_tree.h"
#include "pysyntax/unicode_tables.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

struct Refusals {
  long countdown = 0;     // the countdown-th request from now on (or the next one not spared) is refused; 0: none
  bool refused = false;   // a request was refused since the countdown was set
  long requests = 0;      // requests seen, refused or not
  long live_blocks = 0;   // blocks from malloc and its kin not yet freed
  long long mapped = 0;   // bytes mapped through mmap and mremap, less those unmapped
};
Refusals refusals;

// The code of the libraries whose own requests are never refused.
struct CodeRange {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
};
CodeRange spared[8];
int spared_count = 0;

int note_spared_library(dl_phdr_info* info, size_t, void*) {
  if (std::strstr(info->dlpi_name, "libyaml") == nullptr && std::strstr(info->dlpi_name, "libre2") == nullptr) return 0;
  for (int i = 0; i < info->dlpi_phnum && spared_count < 8; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
    const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    spared[spared_count++] = CodeRange{begin, begin + segment.p_memsz};
  }
  return 0;
}

bool in_spared_code(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (int i = 0; i < spared_count; ++i) {
    if (at >= spared[i].begin && at < spared[i].end) return true;
  }
  return false;
}

// A request made on behalf of a spared library: from its code, or from code it calls (libstdc++'s
// string inside RE2), so any of the innermost frames may be the library's.
bool is_spared() {
  void* frames[24];
  const int depth = backtrace(frames, 24);
  for (int i = 0; i < depth; ++i) {
    if (in_spared_code(frames[i])) return true;
  }
  return false;
}

// True when this request is the one to refuse; errno is then ENOMEM, as the real refusal leaves it.
bool refuse() {
  ++refusals.requests;
  if (refusals.countdown == 0) return false;
  if (refusals.countdown > 1) {
    --refusals.countdown;
    return false;
  }
  if (is_spared()) return false;  // the next request is the one
  refusals.countdown = 0;
  refusals.refused = true;
  errno = ENOMEM;
  return true;
}

void* counted(void* block) {
  if (block != nullptr) ++refusals.live_blocks;
  return block;
}

void* allocate(size_t size) { return refuse() ? nullptr : counted(__libc_malloc(size)); }

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept { return allocate(size); }
void* calloc(size_t count, size_t size) noexcept {
  return refuse() ? nullptr : counted(__libc_calloc(count, size));
}
void* realloc(void* pointer, size_t size) noexcept {
  if (refuse()) return nullptr;
  void* moved = __libc_realloc(pointer, size);
  if (pointer == nullptr && moved != nullptr) ++refusals.live_blocks;
  if (pointer != nullptr && size == 0 && moved == nullptr) --refusals.live_blocks;
  return moved;
}
void* reallocarray(void* pointer, size_t count, size_t size) noexcept {
  if (size != 0 && count > SIZE_MAX / size) {
    errno = ENOMEM;
    return nullptr;
  }
  return realloc(pointer, count * size);
}
void free(void* pointer) noexcept {
  if (pointer != nullptr) --refusals.live_blocks;
  __libc_free(pointer);
}
void* memalign(size_t alignment, size_t size) noexcept {
  return refuse() ? nullptr : counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  return refuse() ? nullptr : counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  if (refuse()) return ENOMEM;
  void* block = counted(__libc_memalign(alignment, size));
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

void* mmap(void* address, size_t size, int protection, int flags, int fd, off_t offset) noexcept {
  if (refuse()) return MAP_FAILED;
  const long mapped = syscall(SYS_mmap, address, size, protection, flags, fd, offset);
  if (mapped == -1) return MAP_FAILED;
  refusals.mapped += static_cast<long long>(size);
  return reinterpret_cast<void*>(mapped);
}
int munmap(void* address, size_t size) noexcept {
  const long done = syscall(SYS_munmap, address, size);
  if (done == 0) refusals.mapped -= static_cast<long long>(size);
  return static_cast<int>(done);
}
void* mremap(void* address, size_t old_size, size_t new_size, int flags, ...) noexcept {
  if (refuse()) return MAP_FAILED;
  void* target = nullptr;
  if ((flags & MREMAP_FIXED) != 0) {
    va_list rest;
    va_start(rest, flags);
    target = va_arg(rest, void*);
    va_end(rest);
  }
  const long moved = syscall(SYS_mremap, address, old_size, new_size, flags, target);
  if (moved == -1) return MAP_FAILED;
  refusals.mapped += static_cast<long long>(new_size) - static_cast<long long>(old_size);
  return reinterpret_cast<void*>(moved);
}

}  // extern "C"

namespace {

void* new_block(size_t size) {
  void* block = allocate(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* new_aligned_block(size_t size, std::align_val_t alignment) {
  if (refuse()) throw std::bad_alloc();
  void* block = counted(__libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

// Never refused: its callers do without.
void* nothrow_block(size_t size) { return counted(__libc_malloc(size == 0 ? 1 : size)); }

}  // namespace

void* operator new(size_t size) { return new_block(size); }
void* operator new[](size_t size) { return new_block(size); }
void* operator new(size_t size, std::align_val_t alignment) {
  return new_aligned_block(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return new_aligned_block(size, alignment);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return nothrow_block(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return nothrow_block(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
void operator delete(void* block, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }

namespace vesk {
namespace {

using detect::testing::TempTree;

constexpr const char* kFrameworkPack = R"(schema_version: "0.2.0"
kind: framework
id: tessera
display_name: Tessera
detect:
  imports:
    - module: tessera
      weight: 0.5
  symbol_patterns:
    - kind: class_instantiation
      class: tessera.Agent
      weight: 0.25
idioms:
  agent:
    - kind: class_instantiation
      class: tessera.Agent
      capture:
        name: "{kwarg('name')} of {kwarg('model')}"
  tool:
    - kind: decorator
      name: tessera.tool
  llm_call:
    - kind: function_call
      name: tessera.Agent.run
)";

constexpr const char* kPatternPack = R"(schema_version: "0.2.0"
kind: pattern
id: router
display_name: Router
match:
  min_llm_calls_per_function: 1
  min_branches: 2
)";

// Names that NFKC changes (a ligature, fullwidth letters, combining marks out of canonical order,
// long enough that ICU needs memory of its own), `\N{...}` escapes, a test on a name that only
// the full lowercase mapping reads, an f-string, a decorator tool and calls that nothing
// classifies.
constexpr const char* kRouter =
    "from tessera import Agent, tool\n"
    "\n"
    "triage = Agent(name=\"triage \\N{EM DASH} desk\", model=\"gpt-4o\")\n"
    "\n"
    "@tool\n"
    "def ﬁnd_invoice(customer):\n"
    "    return ｂｉｌｌｉｎｇ.lookup(customer, f\"{customer!r:>10}\")\n"
    "\n"
    "class Desk:\n"
    "    def route(self, ticket):\n"
    "        İNTENT = triage.run(ticket.text)\n"
    "        if İNTENT == \"billing\":\n"
    "            return ﬁnd_invoice(ticket.customer)\n"
    "        elif İNTENT == \"outage\":\n"
    "            return pager.page(ticket, note=\"\\N{BLACK STAR}\")\n"
    "        return a\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323"
    "\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323"
    "\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323\u0301\u0323.archive(ticket)\n";

// The call after its packs are loaded: the JSON text, or the call's failure message.
std::string analyse(const std::string& root, const std::vector<detect::FrameworkPack>& frameworks,
                    const std::vector<detect::PatternPack>& patterns) {
  const auto json = analyze_project(root, frameworks, patterns, {});
  return json.ok() ? std::string(json.value().view()) : json.error().message();
}

// Before anything is refused: the spared libraries' code is noted, and the unwinder that tells
// whether a request comes from them is loaded (its first call allocates).
void prepare_refusals() {
  if (spared_count == 0) dl_iterate_phdr(note_spared_library, nullptr);
  void* warm[1];
  backtrace(warm, 1);
}

// Runs `run` once for each n from 1 to `requests`, the nth request for memory made in the run
// refused; `run` says whether it ended as it should, and each run must give back all it took.
template <typename Run>
void expect_each_refusal_ends_cleanly(long requests, Run&& run) {
  std::vector<long> mistaken;
  std::vector<long> leaking;
  for (long n = 1; n <= requests; ++n) {
    const long blocks = refusals.live_blocks;
    const long long mapped = refusals.mapped;
    refusals.refused = false;
    refusals.countdown = n;
    const bool ended_as_it_should = run();
    refusals.countdown = 0;
    if (!ended_as_it_should) mistaken.push_back(n);
    if (refusals.live_blocks != blocks || refusals.mapped != mapped) leaking.push_back(n);
  }
  EXPECT_TRUE(mistaken.empty()) << mistaken.size() << " runs did not end as they should, first n=" << mistaken[0];
  EXPECT_TRUE(leaking.empty()) << leaking.size() << " runs left memory behind, first n=" << leaking[0];
}

TEST(FailedAllocations, EachOneEndsTheAnalysisInBadAllocAndLeavesNothingBehind) {
  TempTree tree;
  tree.dir("frameworks");
  tree.file("frameworks/tessera.yaml", kFrameworkPack);
  tree.dir("patterns");
  tree.file("patterns/router.yaml", kPatternPack);
  tree.dir("app");
  tree.file("app/router.py", kRouter);
  tree.file("app/broken.py", "def f(:\n");
  tree.file("app/latin1.py", "x = '\xe9'\n");
  prepare_refusals();
  // As the module does at import: ICU's tables are loaded before anything can be refused.
  ASSERT_TRUE(pysyntax::load_unicode_tables());
  std::vector<std::string> pack_warnings;
  const auto frameworks = detect::load_framework_packs(tree.at("frameworks"), pack_warnings);
  const auto patterns = detect::load_pattern_packs(tree.at("patterns"), pack_warnings);
  ASSERT_TRUE(frameworks.ok() && patterns.ok());
  ASSERT_EQ(pack_warnings, std::vector<std::string>{});

  const std::string expected = analyse(tree.at("app"), frameworks.value(), patterns.value());
  ASSERT_NE(expected.find("\"name\":\"triage \xE2\x80\x94 desk of gpt-4o\""), std::string::npos) << expected;
  ASSERT_NE(expected.find("\"callee\":\"billing.lookup\""), std::string::npos) << expected;
  ASSERT_NE(expected.find("\"function\":\"Desk.route\""), std::string::npos) << expected;
  ASSERT_NE(expected.find("parse error: ruff parse error in"), std::string::npos) << expected;
  ASSERT_NE(expected.find("parse error: io error reading"), std::string::npos) << expected;
  const long before = refusals.requests;
  (void)analyse(tree.at("app"), frameworks.value(), patterns.value());
  const long requests = refusals.requests - before;
  ASSERT_GT(requests, 100);  // the replacements above are the ones called

  expect_each_refusal_ends_cleanly(requests, [&] {
    bool threw = false;
    bool same = false;
    try {
      same = analyse(tree.at("app"), frameworks.value(), patterns.value()) == expected;
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    // A refusal that did not end the run would be a lack of memory taken for something else.
    return refusals.refused ? threw : same;
  });
}

// The small analysis above keeps every block on the heap. A list grown from the heap into pages
// of its own and on by remapping, with each request on the way refused in turn: each refusal ends
// in std::bad_alloc with every record pushed before it kept, and nothing is left once the list goes.
TEST(FailedAllocations, AListGrowingFromTheHeapIntoPagesKeepsItsRecordsAndLeavesNothingBehind) {
  constexpr std::size_t kRecords = (std::size_t{5} << 20) / sizeof(std::uint64_t);
  auto fill = [](detect::RecordList<std::uint64_t>& list) {
    while (list.size() < kRecords) list.push_back(list.size());
  };
  prepare_refusals();
  const long before = refusals.requests;
  {
    detect::RecordList<std::uint64_t> list;
    fill(list);
  }
  const long requests = refusals.requests - before;
  ASSERT_GT(requests, 20);  // reallocations, a mapping and remappings

  expect_each_refusal_ends_cleanly(requests, [&] {
    detect::RecordList<std::uint64_t> list;
    bool threw = false;
    try {
      fill(list);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    bool kept = threw || list.size() == kRecords;
    for (std::size_t i = 0; kept && i < list.size(); ++i) kept = list[i] == i;
    return threw == refusals.refused && kept;
  });
}

}  // namespace
}  // namespace vesk

#endif  // VESK_ADDRESS_SANITIZER
