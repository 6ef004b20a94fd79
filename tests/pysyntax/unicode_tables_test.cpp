// ICU's Unicode tables (character names, NFKC) when ICU has no memory to give. ICU keeps the
// outcome of a table's first load for the life of the process, so every case runs in a process of
// its own (a death test that re-executes the program) whose ICU allocator refuses once asked to.
#include <gtest/gtest.h>
#include <unicode/uclean.h>

#include <cstdlib>
#include <new>
#include <string>

#include "literals/literals.h"
#include "pysyntax/unicode_tables.h"

namespace pysyntax::literals {
namespace {

bool icu_refuses = false;

void* icu_allocate(const void*, size_t size) { return icu_refuses ? nullptr : std::malloc(size); }
void* icu_reallocate(const void*, void* block, size_t size) {
  return icu_refuses ? nullptr : std::realloc(block, size);
}
void icu_free(const void*, void* block) { std::free(block); }

// From here on ICU gets no memory.
void refuse_icu_memory() {
  UErrorCode status = U_ZERO_ERROR;
  u_setMemoryFunctions(nullptr, icu_allocate, icu_reallocate, icu_free, &status);
  if (U_FAILURE(status)) std::exit(2);
  icu_refuses = true;
}

// Exits 0 when `body` throws std::bad_alloc, 1 when it returns.
template <typename Body>
[[noreturn]] void exit_on_bad_alloc(Body body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    std::exit(0);
  }
  std::exit(1);
}

class UnicodeTablesWithoutMemory : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Taken for "no such name" or "already normal", the lack of memory would turn into a parse error
// or an identifier left as written.
TEST_F(UnicodeTablesWithoutMemory, AFailedFirstLoadThrowsBadAlloc) {
  EXPECT_EXIT(
      {
        refuse_icu_memory();
        exit_on_bad_alloc([] { (void)lookup_character_name("EM DASH"); });
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        refuse_icu_memory();
        exit_on_bad_alloc([] {
          std::string out;
          (void)normalize_identifier("\xEF\xAC\x81lter", out);  // "ﬁlter"
        });
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        refuse_icu_memory();
        std::exit(load_unicode_tables() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// Why the module loads them at import: afterwards they need no memory of ICU's.
TEST_F(UnicodeTablesWithoutMemory, OnceLoadedTheyAnswerWithoutAny) {
  EXPECT_EXIT(
      {
        if (!load_unicode_tables()) std::exit(2);
        refuse_icu_memory();
        std::string out;
        const bool normalized = normalize_identifier("\xEF\xAC\x81lter", out);
        std::exit(lookup_character_name("EM DASH") == U'\u2014' && lookup_character_name("CJK UNIFIED IDEOGRAPH-4E00") &&
                          normalized && out == "filter"
                      ? 0
                      : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pysyntax::literals
