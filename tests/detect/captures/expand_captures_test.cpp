// Capture templates: placeholders found in the template as written, each replacing all of its
// occurrences in the result built so far.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "captures/captures.h"

namespace detect {
namespace {

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
      {"{kwarg('a')}-{kwarg('a')}", {{"a", "1"}}, "1-1"},
      // The value of a holds the placeholder of b, which the later step rewrites.
      {"{kwarg('a')}|{kwarg('b')}", {{"a", "{kwarg('b')}"}, {"b", "B"}}, "B|B"},
      // A value holding an earlier placeholder stays: only later matches rewrite.
      {"{kwarg('a')}|{kwarg('b')}", {{"a", "A"}, {"b", "{kwarg('a')}"}}, "A|{kwarg('a')}"},
      {"{kwarg('a b')}{kwarg('ü')}", {{"a b", "1"}, {"ü", "2"}}, "12"},
      {"{kwarg('a'){kwarg('b')}", {{"a", "1"}, {"b", "2"}}, "{kwarg('a')2"},
  };
  CapturePattern pattern;
  for (const Case& c : cases) {
    CaptureResults results = expand_captures(pattern, {{"k", c.template_text}}, c.values);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results["k"], c.result) << c.template_text;
  }
}

TEST(ExpandCaptures, EveryKeyIsExpanded) {
  CapturePattern pattern;
  CaptureResults results = expand_captures(
      pattern, {{"name", "{kwarg('name')}"}, {"model", "{kwarg('llm')}"}, {"extra", "x"}},
      {{"name", "researcher"}, {"llm", "cfg.model"}});
  EXPECT_EQ(results, (CaptureResults{{"extra", "x"}, {"model", "cfg.model"}, {"name", "researcher"}}));
}

}  // namespace
}  // namespace detect
