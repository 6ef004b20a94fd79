// Keyword values of a call: the text form of each kind of value expression.
#include <gtest/gtest.h>

#include <string>

#include "captures/captures.h"
#include "detect/metrics/parsed_source.h"

namespace detect {
namespace {

// The keyword values of the call that is the first statement of `source`.
KeywordValues values_of(const std::string& source) {
  testing::ParsedSource parsed(source);
  if (parsed.statements().empty()) return {};
  const auto& statement = parsed.statements()[0]->as<pysyntax::ExprStmt>();
  return collect_keyword_values(statement.value->as<pysyntax::Call>());
}

TEST(KeywordValues, TextOfEachValueKind) {
  struct Case {
    const char* value;
    const char* text;
  };
  const Case cases[] = {
      {"'researcher'", "researcher"},
      {"'a' 'b'", "ab"},
      {"'tab\\there'", "tab\there"},
      // A str may hold lone surrogates; a text cannot.
      {"'x\\ud800y'", "x\uFFFDy"},
      {"'\\ud83d\\ude00 \\U0001F600 \\ud7ff'", "\uFFFD\uFFFD \U0001F600 \uD7FF"},
      {"MODEL", "MODEL"},
      {"settings.llm.name", "settings.llm.name"},
      {"get_model().name", "get_model.name"},  // dotted name, calls dropped, not resolved
      {"items[0].name", "<expr>"},
      {"get_model()", "<expr>"},
      {"f'{x}'", "<expr>"},
      {"b'x'", "<expr>"},
      {"True", "<expr>"},
      {"None", "<expr>"},
      {"-1", "<expr>"},
      {"[1]", "<expr>"},
      {"{'a': 1}", "<expr>"},
      {"lambda: 0", "<expr>"},
      {"42", "Int(42)"},
      {"0x2A", "Int(42)"},
      {"1_000", "Int(1000)"},
      {"18446744073709551615", "Int(18446744073709551615)"},
      {"18_446_744_073_709_551_616", "Int(18446744073709551616)"},
      {"0x1_0000_0000_0000_0000", "Int(0x1_0000_0000_0000_0000)"},
      {"0.7", "Float(0.7)"},
      {"2.", "Float(2.0)"},
      {"1e16", "Float(1e16)"},
      {"1e15", "Float(1000000000000000.0)"},
      {"1e-5", "Float(1e-5)"},
      {"0.0001", "Float(0.0001)"},
      {"1e400", "Float(inf)"},
      {"2j", "Complex { real: 0.0, imag: 2.0 }"},
      {"2.5j", "Complex { real: 0.0, imag: 2.5 }"},
  };
  for (const Case& c : cases) {
    KeywordValues values = values_of(std::string("f(k=") + c.value + ")\n");
    EXPECT_EQ(values, (KeywordValues{{"k", c.text}})) << c.value;
  }
}

TEST(KeywordValues, OnlyNamedKeywordsLaterReplacingEarlier) {
  EXPECT_EQ(values_of("f(1, *rest, a=1, **options, b=x, a='two')\n"),
            (KeywordValues{{"a", "two"}, {"b", "x"}}));
}

}  // namespace
}  // namespace detect
