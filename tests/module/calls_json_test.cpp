// Reading calls_json: both record forms, every field and length fault with its message, the
// trailing comma and trailing characters rules, deep undeclared values, well-formed values that
// RapidJSON refuses (numbers past the double range, lone surrogate escapes), and positions.
#include <gtest/gtest.h>

#include <string>

#include "core/calls_json.h"
#include "core/manifest_json.h"

namespace vesk {
namespace {

// The error text of a failing read, or "ok" with the number of calls read.
std::string outcome(std::string_view text) {
  auto result = parse_calls_json(text);
  if (!result.ok()) return result.error().message();
  return "ok " + std::to_string(result.value().calls.size());
}

constexpr const char* kCall = R"({"callee":"a","resolved_callee":"b","function":"f","location":{"file":"x.py","line":1}})";

TEST(CallsJson, ReadsBothFormsWithEveryField) {
  const auto result = parse_calls_json(
      R"([{"location":{"line":7,"file":"p/q.py"},"function":"m.f","receiver_rewrite":"Cls.send",)"
      R"("resolved_callee":"pkg.Cls.send","callee":"c.send","extra":[1,{"k":null}]},)"
      R"(["g","mod.g",null,"m.h",["r.py",3]],)"
      R"({"callee":"e\u0301\n","resolved_callee":"","receiver_rewrite":null,"function":"","location":["",4294967295]}])");
  ASSERT_TRUE(result.ok()) << result.error().message();
  const auto& calls = result.value().calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].callee, "c.send");
  EXPECT_EQ(calls[0].resolved_callee, "pkg.Cls.send");
  EXPECT_EQ(calls[0].receiver_rewrite, "Cls.send");
  EXPECT_EQ(calls[0].function, "m.f");
  EXPECT_EQ(calls[0].location.file, "p/q.py");
  EXPECT_EQ(calls[0].location.line, 7u);
  EXPECT_EQ(calls[1].callee, "g");
  EXPECT_EQ(calls[1].resolved_callee, "mod.g");
  EXPECT_FALSE(calls[1].receiver_rewrite.has_value());
  EXPECT_EQ(calls[1].function, "m.h");
  EXPECT_EQ(calls[1].location.file, "r.py");
  EXPECT_EQ(calls[1].location.line, 3u);
  EXPECT_EQ(calls[2].callee, "e\xcc\x81\n");
  EXPECT_FALSE(calls[2].receiver_rewrite.has_value());
  EXPECT_EQ(calls[2].location.line, 4294967295u);
}

TEST(CallsJson, ReadsBackWhatTheManifestWriterWrites) {
  const std::vector<detect::UnclassifiedCall> calls = {
      {"c.send", "httpx.Client.send", std::string_view("Client.send"), "app.f", {"app/\"f\".py", 0}},
      {"g\t", "g", std::nullopt, "app.h", {"app/f.py", 12}}};
  JsonBuffer out;
  out.raw('{');
  write_unclassified_calls_json(out, calls);
  out.raw('}');
  // The member's value is the array: cut it out of `{"unclassified_calls":[...]}`.
  std::string_view text = out.view();
  text.remove_prefix(std::string_view(R"({"unclassified_calls":)").size());
  text.remove_suffix(1);
  const auto read = parse_calls_json(text);
  ASSERT_TRUE(read.ok()) << read.error().message();
  ASSERT_EQ(read.value().calls.size(), 2u);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(read.value().calls[i].callee, calls[i].callee);
    EXPECT_EQ(read.value().calls[i].resolved_callee, calls[i].resolved_callee);
    EXPECT_EQ(read.value().calls[i].receiver_rewrite, calls[i].receiver_rewrite);
    EXPECT_EQ(read.value().calls[i].function, calls[i].function);
    EXPECT_EQ(read.value().calls[i].location.file, calls[i].location.file);
    EXPECT_EQ(read.value().calls[i].location.line, calls[i].location.line);
  }
}

struct Case {
  std::string text;
  std::string expected;
};

void expect_outcomes(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(outcome(c.text), c.expected) << "input: " << c.text;
}

TEST(CallsJson, DocumentLevel) {
  expect_outcomes({
      {"[]", "ok 0"},
      {" \t\r\n[ ]\n", "ok 0"},
      {"", "EOF while parsing a value at line 1 column 0"},
      {"   ", "EOF while parsing a value at line 1 column 3"},
      {R"({"schema_version":"0.2.0"})", "invalid type: map, expected a sequence at line 1 column 1"},
      {R"("calls")", "invalid type: string \"calls\", expected a sequence at line 1 column 7"},
      {"null", "invalid type: null, expected a sequence at line 1 column 4"},
      {"12", "invalid type: integer `12`, expected a sequence at line 1 column 2"},
      {"[] x", "trailing characters at line 1 column 4"},
      {"[]]", "trailing characters at line 1 column 3"},
      {std::string("[]\0", 3), "trailing characters at line 1 column 3"},
      {"[\n", "EOF while parsing a list at line 2 column 0"},
      {"[1,]", "invalid type: integer `1`, expected struct UnclassifiedCall at line 1 column 2"},
      {std::string("[") + kCall + ",]", "trailing comma at line 1 column 90"},
      {std::string("[") + kCall + "," + kCall + "]", "ok 2"},
      {std::string("[") + kCall + " " + kCall + "]", "expected `,` or `]` at line 1 column 90"},
      {"[true]", "invalid type: boolean `true`, expected struct UnclassifiedCall at line 1 column 5"},
      {R"(["x"])", "invalid type: string \"x\", expected struct UnclassifiedCall at line 1 column 4"},
  });
}

TEST(CallsJson, ObjectFormFields) {
  const std::string loc = R"("location":{"file":"x.py","line":1})";
  const auto undeclared = [](const std::string& value) {
    return R"([{"zz":)" + value + R"(,"callee":"a","resolved_callee":"a","function":"f","location":{"file":"x","line":0}}])";
  };
  const std::string nines(309, '9');
  expect_outcomes({
      {R"([{"callee":"a","function":"f"}])", "missing field `resolved_callee` at line 1 column 30"},
      {R"([{}])", "missing field `callee` at line 1 column 3"},
      {R"([{"callee":"a","resolved_callee":"b","location":{"file":"x.py","line":1}}])",
       "missing field `function` at line 1 column 73"},
      {R"([{"callee":"a","resolved_callee":"b","function":"f"}])", "missing field `location` at line 1 column 52"},
      {R"([{"callee":"a","callee":"b"}])", "duplicate field `callee` at line 1 column 23"},
      {R"([{"receiver_rewrite":null,"receiver_rewrite":"x"}])", "duplicate field `receiver_rewrite` at line 1 column 44"},
      {R"([{"callee":1}])", "invalid type: integer `1`, expected a string at line 1 column 12"},
      {R"([{"callee":null}])", "invalid type: null, expected a string at line 1 column 15"},
      {R"([{"receiver_rewrite":false}])", "invalid type: boolean `false`, expected a string at line 1 column 26"},
      {R"([{"location":"x.py:1"}])", "invalid type: string \"x.py:1\", expected struct SourceLocation at line 1 column 21"},
      {R"([{"Callee":"a","callee":"a","resolved_callee":"b","function":"f",)" + loc + "}]", "ok 1"},
      // Keys are compared after their escapes are decoded.
      {R"([{"c\u0061llee":"a","resolved_callee":"b","function":"f",)" + loc + "}]", "ok 1"},
      {R"([{"callee":"a","resolved_callee":"b","function":"f",)" + loc + ",}]", "trailing comma at line 1 column 89"},
      // An undeclared value needs only to be well-formed: numbers past the double range and
      // escapes of a surrogate without its partner are no fault in it.
      {undeclared("1e999"), "ok 1"},
      {undeclared("-1e400"), "ok 1"},
      {undeclared(nines), "ok 1"},
      {undeclared("-" + nines), "ok 1"},
      {undeclared("0." + std::string(400, '0') + "1"), "ok 1"},
      {undeclared(R"("\udc00")"), "ok 1"},
      {undeclared(R"("\ud800")"), "ok 1"},
      {undeclared(R"({"\udc00":1})"), "ok 1"},
      {undeclared(R"(["x\ud800y"])"), "ok 1"},
      {undeclared(R"([{"\ud800\ud800\udc00":[1e400,"\udbff\u0041"]}])"), "ok 1"},
      // ... but well-formed it must be, up to the byte where it is not.
      {undeclared(R"("\ud800\q")"), "invalid escape at line 1 column 15"},
      {undeclared("--1e999"), "invalid number at line 1 column 9"},
      {undeclared("1e999e"), "expected `,` or `}` at line 1 column 13"},
      {undeclared(nines + ".,"), "invalid number at line 1 column 318"},
  });
}

TEST(CallsJson, LocationFields) {
  const std::string head = R"([{"callee":"a","resolved_callee":"b","function":"f","location":)";
  expect_outcomes({
      {head + R"({"line":1}}])", "missing field `file` at line 1 column 73"},
      {head + R"({"file":"x"}}])", "missing field `line` at line 1 column 75"},
      {head + R"({"file":"x","file":"y"}}])", "duplicate field `file` at line 1 column 81"},
      {head + R"({"file":"x","line":1,"col":{"a":[]}}}])", "ok 1"},
      {head + R"(["x",3]}])", "ok 1"},
      {head + R"(["x"]}])", "invalid length 1, expected struct SourceLocation with 2 elements at line 1 column 68"},
      {head + R"([]}])", "invalid length 0, expected struct SourceLocation with 2 elements at line 1 column 65"},
      {head + R"(["x",3,4]}])", "trailing characters at line 1 column 71"},
      {head + R"(["x",3,]}])", "trailing comma at line 1 column 71"},
      {head + R"({"file":"x","line":-1}}])", "invalid value: integer `-1`, expected u32 at line 1 column 84"},
      {head + R"({"file":"x","line":4294967296}}])", "invalid value: integer `4294967296`, expected u32 at line 1 column 92"},
      {head + R"({"file":"x","line":3.0}}])", "invalid type: floating point `3.0`, expected u32 at line 1 column 85"},
      {head + R"({"file":"x","line":1e2}}])", "invalid type: floating point `100.0`, expected u32 at line 1 column 85"},
      {head + R"({"file":"x","line":-0}}])", "invalid type: floating point `-0.0`, expected u32 at line 1 column 84"},
      {head + R"({"file":"x","line":18446744073709551616}}])",
       "invalid value: integer `18446744073709551616`, expected u32 at line 1 column 102"},
      {head + R"({"file":"x","line":-9223372036854775809}}])",
       "invalid value: integer `-9223372036854775809`, expected u32 at line 1 column 102"},
      {R"([{"callee":100000000000000000000}])",
       "invalid type: integer `100000000000000000000`, expected a string at line 1 column 32"},
      {head + R"({"file":"x","line":"1"}}])", "invalid type: string \"1\", expected u32 at line 1 column 85"},
      // Past 64 bits and past the double range, an integer is still an integer and any other
      // number a double, however many digits it is written with.
      {head + R"({"file":"x","line":)" + std::string(309, '9') + "}}]",
       "invalid value: integer `" + std::string(309, '9') + "`, expected u32 at line 1 column 391"},
      {head + R"({"file":"x","line":-)" + std::string(309, '9') + "}}]",
       "invalid value: integer `-" + std::string(309, '9') + "`, expected u32 at line 1 column 392"},
      {head + R"({"file":"x","line":1e999}}])", "invalid type: floating point `inf`, expected u32 at line 1 column 87"},
      {head + R"({"file":"x","line":-1e999}}])", "invalid type: floating point `-inf`, expected u32 at line 1 column 88"},
      {head + R"({"file":"x","line":1)" + std::string(400, '0') + "e-1}}]",
       "invalid type: floating point `inf`, expected u32 at line 1 column 486"},
      {head + R"({"file":"x","line":0.)" + std::string(400, '0') + "1}}]",
       "invalid type: floating point `0.0`, expected u32 at line 1 column 485"},
      {head + R"({"file":"x","line":0.)" + std::string(1000, '0') + "1e600}}]",
       "invalid type: floating point `0.0`, expected u32 at line 1 column 1089"},
      {head + R"({"file":"x","line":1)" + std::string(400, '0') + "e-400}}]",
       "invalid type: floating point `1.0`, expected u32 at line 1 column 488"},
  });
}

TEST(CallsJson, ArrayForm) {
  expect_outcomes({
      {R"([["a","b",null,"f",["x",0]]])", "ok 1"},
      {R"([["a","b","r","f",{"file":"x","line":0}]])", "ok 1"},
      {R"([[]])", "invalid length 0, expected struct UnclassifiedCall with 5 elements at line 1 column 3"},
      {R"([["a","b",null,"f"]])", "invalid length 4, expected struct UnclassifiedCall with 5 elements at line 1 column 19"},
      {R"([["a","b",null,"f",["x",0],6]])", "trailing characters at line 1 column 28"},
      // The sixth element is not read, so even a malformed one gives the same message.
      {R"([["a","b",null,"f",["x",0], @]])", "trailing characters at line 1 column 29"},
      {R"([["a","b",null,"f",["x",0],]])", "trailing comma at line 1 column 28"},
      {R"([["a","b",null,"f",]])", "trailing comma at line 1 column 20"},
      {R"([["a",2,null,"f",["x",0]]])", "invalid type: integer `2`, expected a string at line 1 column 7"},
      {R"([["a","b",[],"f",["x",0]]])", "invalid type: sequence, expected a string at line 1 column 11"},
  });
}

TEST(CallsJson, SyntaxErrorsCarryPositions) {
  expect_outcomes({
      {"[\n  {\"callee\" \"a\"}]", "expected `:` at line 2 column 13"},
      {"[{\"callee\":\"a", "EOF while parsing a string at line 1 column 13"},
      {"[{\"callee\":\"a\tb\"}]", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 14"},
      {"[{\"callee\":\"\\q\"}]", "invalid escape at line 1 column 13"},
      {"[{\"callee\":\"\\udc00\"}]", "lone leading surrogate in hex escape at line 1 column 19"},
      {"[{\"\\ud800x\":1}]", "lone leading surrogate in hex escape at line 1 column 4"},
      // A string that is read meets the surrogate check as written, also after a skipped one.
      {R"([{"callee":"\ud800\q"}])", "lone leading surrogate in hex escape at line 1 column 13"},
      {R"([{"zz":"\ud800","callee":"\ud800"}])", "lone leading surrogate in hex escape at line 1 column 27"},
      {"[{\"callee\":\"a\",}]", "trailing comma at line 1 column 16"},
      {"[{1:2}]", "key must be a string at line 1 column 3"},
      {"[{\"x\":}]", "expected value at line 1 column 7"},
      {"[{\"x\":-}]", "invalid number at line 1 column 8"},
      {"[{\"x\":tru}]", "expected ident at line 1 column 10"},
  });
}

// The reader shows RapidJSON other text in place of the literals it refuses; none of it may reach
// a record, whatever a string holds.
TEST(CallsJson, TextsAreReadAsWritten) {
  const auto result = parse_calls_json(
      R"([{"zz":[1e999,"\ud800"],"callee":"1e999","resolved_callee":"x\"-1e999","function":"\\",)"
      R"("location":{"file":"\\ud800\ud83d\ude00","line":7}}])");
  ASSERT_TRUE(result.ok()) << result.error().message();
  ASSERT_EQ(result.value().calls.size(), 1u);
  const auto& call = result.value().calls[0];
  EXPECT_EQ(call.callee, "1e999");
  EXPECT_EQ(call.resolved_callee, "x\"-1e999");
  EXPECT_EQ(call.function, "\\");
  EXPECT_EQ(call.location.file, "\\ud800\xf0\x9f\x98\x80");
  EXPECT_EQ(call.location.line, 7u);
}

TEST(CallsJson, DeepUndeclaredValuesAreSkippedWithoutLimit) {
  const int depth = 10000;
  const std::string deep_array = std::string(depth, '[') + std::string(depth, ']');
  std::string deep_object;
  for (int i = 0; i < depth; ++i) deep_object += R"({"k":)";
  deep_object += "0" + std::string(depth, '}');
  const std::string tail = R"(,"callee":"a","resolved_callee":"b","function":"f","location":{"file":"x","line":1,"deep":)";
  expect_outcomes({
      {R"([{"deep":)" + deep_array + tail + deep_object + "}}]", "ok 1"},
      // Depth alone is no fault, but the skipped value must still be well-formed.
      {R"([{"deep":)" + std::string(depth, '[') + "}]", "expected value at line 1 column 10010"},
  });
}

}  // namespace
}  // namespace vesk
