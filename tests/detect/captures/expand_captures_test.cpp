// Capture templates: placeholders found in the template as written, each replacing all of its
// occurrences in the result built so far; results past the limit, or replacements that churn
// through more than the work budget, give the empty text.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "captures/captures.h"

namespace detect {
namespace {

constexpr HashKey kKey{0x0123456789abcdefull, 0xfedcba9876543210ull};

std::string expand(CaptureExpander& expander, const std::string& template_text, const KeywordValues& values) {
  CallKeywords call(values);
  return expander.expand(template_text, call);
}

TEST(ExpandCaptures, Templates) {
  struct Case {
    const char* template_text;
    KeywordValues values;
    const char* result;
  };
  const Case cases[] = {
      {"acme", {}, "acme"},
      {"{kwarg('model')}", {{"model", "small"}}, "small"},
      {"acme/{kwarg('model')}", {{"model", "small"}}, "acme/small"},
      {"{kwarg('model')}", {}, ""},  // the call has no such keyword
      {"{kwarg(\"model\")}", {{"model", "small"}}, "{kwarg(\"model\")}"},
      {"{kwarg('')}", {{"", "x"}}, "{kwarg('')}"},
      {"{ kwarg('a')}", {{"a", "x"}}, "{ kwarg('a')}"},
      {"{kwarg('a')}-{kwarg('a')}", {{"a", "1"}}, "1-1"},
      // The value of a holds the placeholder of b, which the later step rewrites.
      {"{kwarg('a')}|{kwarg('b')}", {{"a", "{kwarg('b')}"}, {"b", "B"}}, "B|B"},
      // A value holding an earlier placeholder stays: only later matches rewrite.
      {"{kwarg('a')}|{kwarg('b')}", {{"a", "A"}, {"b", "{kwarg('a')}"}}, "A|{kwarg('a')}"},
      // A repeated placeholder's second step replaces what the first brought in.
      {"{kwarg('a')}{kwarg('a')}", {{"a", "<{kwarg('a')}>"}}, "<<{kwarg('a')}>><<{kwarg('a')}>>"},
      {"{kwarg('a b')}{kwarg('ü')}", {{"a b", "1"}, {"ü", "2"}}, "12"},
      {"{kwarg('a'){kwarg('b')}", {{"a", "1"}, {"b", "2"}}, "{kwarg('a')2"},
      // An occurrence made of a value and the text after it.
      {"{kwarg('a')}b')}{kwarg('b')}", {{"a", "{kwarg('"}, {"b", "B"}}, "BB"},
      // And of the text before a value and the value: the quote of "x'" is the opening one.
      {"{kwarg({kwarg('a')}{kwarg('b')}", {{"a", "'b')}"}, {"b", "B"}}, "BB"},
      // Names that end in "{kwarg(" and start with ")}" make neighbouring occurrences overlap;
      // the leftmost of each overlapping pair is replaced.
      {"{kwarg(')}{kwarg(')}{kwarg(')}", {{")}{kwarg(", "V"}}, "V{kwarg(')}"},
      {"{kwarg(')}{kwarg(')}{kwarg(')}{kwarg(')}", {{")}{kwarg(", "V"}}, "VV"},
      // Texts that double at each step and then vanish leave only the template's own text.
      {"X{kwarg('a')}{kwarg('b')}{kwarg('c')}Y",
       {{"a", "{kwarg('b')}{kwarg('b')}"}, {"b", "{kwarg('c')}{kwarg('c')}"}},
       "XY"},
  };
  CaptureExpander expander(kKey);
  for (const Case& c : cases) EXPECT_EQ(expand(expander, c.template_text, c.values), c.result) << c.template_text;
}

TEST(ExpandCaptures, ResultsPastTheLimitGiveTheEmptyText) {
  CaptureExpander expander(kKey);
  const std::string at_limit(kCaptureTextLimit, 'x');
  EXPECT_EQ(expand(expander, "{kwarg('a')}", {{"a", at_limit}}), at_limit);
  EXPECT_EQ(expand(expander, "{kwarg('a')}!", {{"a", at_limit}}), "");
  EXPECT_EQ(expand(expander, at_limit + "!", {}), "");
  // Doubling at each step: the first step alone already passes the work budget.
  std::string doubling;
  for (int i = 0; i < 20'000; ++i) doubling += "{kwarg('a')}";
  EXPECT_EQ(expand(expander, "{kwarg('a')}{kwarg('a')}", {{"a", doubling}}), "");
}

// The replacement written out plainly, with the bytes it removes and inserts counted: none when
// that count passes `budget`, as soon as it does.
std::optional<std::string> replace_plainly(const std::string& template_text, const KeywordValues& values,
                                           std::size_t budget) {
  static const std::regex placeholder(R"(\{kwarg\('([^']+)'\)\})");
  std::string result = template_text;
  std::size_t churn = 0;
  for (auto match = std::sregex_iterator(template_text.begin(), template_text.end(), placeholder);
       match != std::sregex_iterator(); ++match) {
    const std::string whole = (*match)[0].str();
    auto value = values.find((*match)[1].str());
    const std::string with = value == values.end() ? std::string() : value->second;
    std::string next;
    std::size_t done = 0;
    for (std::size_t at = result.find(whole); at != std::string::npos; at = result.find(whole, done)) {
      next.append(result, done, at - done).append(with);
      done = at + whole.size();
      churn += whole.size() + with.size();
      if (churn > budget) return std::nullopt;
    }
    result = next.append(result, done, std::string::npos);
  }
  return result;
}

// The template, each distinct name's value once, and the limit.
std::size_t budget_of(const std::string& template_text, const KeywordValues& values, std::size_t limit) {
  static const std::regex placeholder(R"(\{kwarg\('([^']+)'\)\})");
  std::set<std::string> names;
  for (auto match = std::sregex_iterator(template_text.begin(), template_text.end(), placeholder);
       match != std::sregex_iterator(); ++match)
    names.insert((*match)[1].str());
  std::size_t budget = template_text.size() + limit;
  for (const std::string& name : names)
    if (auto value = values.find(name); value != values.end()) budget += value->second.size();
  return budget;
}

// Small templates and values drawn from the pieces that placeholders, their edges and crafted
// names are made of: wherever the plain replacement fits the limit and the budget, the expansion
// equals it; everywhere else it is the empty text.
TEST(ExpandCaptures, AgreesWithThePlainReplacement) {
  const std::vector<std::string> names = {"a", "b", "ab", ")}{kwarg(", "{kwarg(", ")}", "a)}{kwarg(b"};
  const std::vector<std::string> pieces = {"{kwarg('", "')}", "'", "{", "}", "(", ")", "kwarg", "{kwarg(",
                                           ")}", "a", "b", "x", "')}{kwarg('"};
  std::mt19937 random(20240611);
  auto draw = [&](std::size_t up_to) {
    std::string text;
    for (std::size_t count = random() % (up_to + 1); count != 0; --count) {
      if (random() % 3 == 0) {
        text += "{kwarg('" + names[random() % names.size()] + "')}";
      } else {
        text += pieces[random() % pieces.size()];
      }
    }
    return text;
  };
  std::size_t fitted = 0, emptied = 0;
  for (const std::size_t limit : {std::size_t{40}, kCaptureTextLimit}) {
    CaptureExpander expander(kKey, limit);
    for (int round = 0; round < 20'000; ++round) {
      const std::string template_text = draw(8);
      KeywordValues values;
      for (const std::string& name : names)
        if (random() % 4 != 0) values[name] = draw(4);
      const std::optional<std::string> plain =
          replace_plainly(template_text, values, budget_of(template_text, values, limit));
      const bool fits = plain && plain->size() <= limit;
      (fits ? fitted : emptied) += 1;
      ASSERT_EQ(expand(expander, template_text, values), fits ? *plain : std::string())
          << "template " << template_text << " round " << round << " limit " << limit;
    }
  }
  // Both outcomes are well represented, or the comparison proves little.
  EXPECT_GT(fitted, 10'000u);
  EXPECT_GT(emptied, 1'000u);
}

}  // namespace
}  // namespace detect
