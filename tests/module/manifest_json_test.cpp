// The manifest's JSON text byte for byte: the float and escape tables, key orders, null and
// omitted members, and the buffer's growth.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_buffer.h"
#include "core/manifest_json.h"

namespace vesk {
namespace {

std::string f32_text(float value) {
  JsonBuffer out;
  out.f32(value);
  return std::string(out.view());
}

struct FloatCase {
  float value;
  const char* text;
};

TEST(JsonFloat, ShortestDigitsInEachLayout) {
  const FloatCase cases[] = {
      // whole numbers in fixed form
      {1.0f, "1.0"},
      {100.0f, "100.0"},
      {123456789.0f, "123456790.0"},
      {1e12f, "1000000000000.0"},
      // fraction with digits on both sides of the point
      {12.34f, "12.34"},
      {-1.5f, "-1.5"},
      // below one, fixed form down to 1e-6
      {0.6f, "0.6"},
      {-0.6f, "-0.6"},
      {0.35f, "0.35"},
      {0.001234f, "0.001234"},
      {0.000001f, "0.000001"},
      {std::nextafter(0.9f, 1.0f), "0.90000004"},
      // exponent form outside -6..12, the sign always written
      {1e-7f, "1e-7"},
      {1.5e-7f, "1.5e-7"},
      {1e-10f, "1e-10"},
      {std::numeric_limits<float>::min(), "1.1754944e-38"},
      {std::numeric_limits<float>::denorm_min(), "1e-45"},
      {1e13f, "1e+13"},
      {2e20f, "2e+20"},
      {-2e20f, "-2e+20"},
      {std::numeric_limits<float>::max(), "3.4028235e+38"},
      // at a power of two the shortest digits are not the correctly rounded prefix
      {std::ldexp(1.0f, 90), "1.2379401e+27"},
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {std::numeric_limits<float>::quiet_NaN(), "null"},
      {std::numeric_limits<float>::infinity(), "null"},
      {-std::numeric_limits<float>::infinity(), "null"},
  };
  for (const FloatCase& c : cases) {
    EXPECT_EQ(f32_text(c.value), c.text) << "bits 0x" << std::hex << std::bit_cast<std::uint32_t>(c.value);
  }
  // One buffer remembers the last float it wrote: each value twice running, then the next (zero
  // and negative zero are equal as floats, not as texts).
  JsonBuffer out;
  std::string expected;
  for (const FloatCase& c : cases) {
    for (int i = 0; i < 2; ++i) {
      out.f32(c.value);
      out.raw(',');
      expected.append(c.text).push_back(',');
    }
  }
  EXPECT_EQ(out.view(), expected);
}

TEST(JsonText, EscapesOnlyQuoteBackslashAndControls) {
  const struct {
    std::string in;
    const char* out;
  } cases[] = {
      {"plain", R"("plain")"},
      {"tab\there", R"("tab\there")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"back\\slash", R"("back\\slash")"},
      {"\b\f\n\r", R"("\b\f\n\r")"},
      {"esc\x1b[0m", R"("esc\u001b[0m")"},
      {std::string("nul\0one\x01\x1f", 9), R"("nul\u0000one\u0001\u001f")"},
      {"/ and \x7f stay", "\"/ and \x7f stay\""},
      {"caf\xc3\xa9 \xe2\x80\xa8 \xe2\x80\xa9", "\"caf\xc3\xa9 \xe2\x80\xa8 \xe2\x80\xa9\""},
      {"", R"("")"},
  };
  for (const auto& c : cases) {
    JsonBuffer out;
    out.string(c.in);
    EXPECT_EQ(out.view(), c.out);
  }
}

// Texts are tested for escapes and for bytes above 7F a block at a time, the last block
// overlapping the one before: every byte value, at every position of texts of every length up to
// a few blocks, must be written as the byte-by-byte rule says, and a byte above 7F (alone, so no
// UTF-8) must be seen.
TEST(JsonText, EveryByteAtEveryPositionOfTextsOfEachLength) {
  auto expected = [](const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
      const auto c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += ch;
      } else if (c < 0x20) {
        const char* shorts[] = {"\\b", "\\t", "\\n", nullptr, "\\f", "\\r"};
        const char* escape = c >= 8 && c <= 13 ? shorts[c - 8] : nullptr;
        char unicode[8];
        std::snprintf(unicode, sizeof unicode, "\\u%04x", c);
        out += escape != nullptr ? escape : unicode;
      } else {
        out += ch;
      }
    }
    return out + "\"";
  };
  for (std::size_t length = 1; length <= 40; ++length) {
    for (int byte = 0; byte < 256; ++byte) {
      for (std::size_t at = 0; at < length; ++at) {
        std::string text(length, 'a');
        text[at] = static_cast<char>(byte);
        JsonBuffer out;
        out.string(text);
        ASSERT_EQ(out.view(), expected(text)) << "byte " << byte << " at " << at << " of " << length;
        ASSERT_EQ(std::move(out).take().well_formed(), byte < 0x80) << "byte " << byte << " at " << at << " of " << length;
      }
    }
  }
}

TEST(JsonUnsigned, PlainDigits) {
  for (const auto& [value, text] : {std::pair<std::uint32_t, const char*>{0, "0"}, {7, "7"},
                                    {4294967295u, "4294967295"}}) {
    JsonBuffer out;
    out.u32(value);
    EXPECT_EQ(out.view(), text);
  }
}

TEST(JsonBufferGrowth, KeepsEveryByteAcrossGrowth) {
  // Growth remaps the block (and may move it); what was written before must come along.
  JsonBuffer out(16);
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::string piece(static_cast<std::size_t>(1) << (i % 22), static_cast<char>('a' + i % 26));
    out.raw(piece);
    expected += piece;
    ASSERT_GE(out.capacity(), out.size());
  }
  EXPECT_EQ(out.view(), expected);
  const JsonText text = std::move(out).take();
  EXPECT_EQ(text.view(), expected);
}

TEST(ManifestJson, EmptyManifest) {
  const detect::BuildManifest manifest;
  const auto json = write_manifest_json(manifest);
  ASSERT_TRUE(json.ok());
  EXPECT_EQ(json.value(),
            R"({"schema_version":"0.2.0","framework":null,"framework_candidates":[],"agents":[],)"
            R"("tools":[],"llm_clients":[],"spawn_graph":[],"patterns":[],"deploy_target":null,)"
            R"("warnings":[]})");
}

detect::SourceLocation at(const char* file, std::uint32_t line = 0) { return {file, line}; }

TEST(ManifestJson, EveryRecordInKeyOrder) {
  detect::BuildManifest m;
  const detect::FrameworkCandidate best{"alpha", "Alpha Kit", 1.0f, {"decorator:tool", "import:alpha"}};
  m.framework = best;
  m.framework_candidates = {best, {"beta", "Beta", 0.6f, {}}};
  m.agents = {{"planner", "alpha.Agent", "alpha", at("app/a.py")}};
  m.tools = {{"search", "app.tools.search", "alpha", at("app/t.py", 4294967295u)}};
  m.llm_clients = {{"openai", "gpt-4o", "alpha", at("app/c.py")}};
  m.spawn_graph = {{"root", "child", "spawn"}};
  m.patterns = {{"router", "Router", -std::numeric_limits<float>::infinity(), "app.route", {"app/r.py", 0}}};
  m.deploy_target = "lambda";
  m.warnings = {"skipping p/x.yaml: parsing framework pack YAML", "tab\t\"q\"\x1b"};
  m.unclassified_calls = {{"c.send", "httpx.Client.send", std::string_view("Client.send"), "app.f", {"app/f.py", 3}},
                          {"g", "g", std::nullopt, "app.h", {"app/f.py", 0}}};
  const auto json = write_manifest_json(m);
  ASSERT_TRUE(json.ok());
  EXPECT_EQ(json.value(),
            R"({"schema_version":"0.2.0",)"
            R"("framework":{"id":"alpha","display_name":"Alpha Kit","confidence":1.0,"matched_rules":["decorator:tool","import:alpha"]},)"
            R"("framework_candidates":[{"id":"alpha","display_name":"Alpha Kit","confidence":1.0,"matched_rules":["decorator:tool","import:alpha"]},)"
            R"({"id":"beta","display_name":"Beta","confidence":0.6,"matched_rules":[]}],)"
            R"("agents":[{"name":"planner","class_path":"alpha.Agent","framework_id":"alpha","location":{"file":"app/a.py","line":0}}],)"
            R"("tools":[{"name":"search","function_path":"app.tools.search","framework_id":"alpha","location":{"file":"app/t.py","line":4294967295}}],)"
            R"("llm_clients":[{"provider":"openai","model":"gpt-4o","framework_id":"alpha","location":{"file":"app/c.py","line":0}}],)"
            R"("spawn_graph":[{"parent":"root","child":"child","kind":"spawn"}],)"
            R"("patterns":[{"id":"router","display_name":"Router","confidence":null,"function":"app.route","location":{"file":"app/r.py","line":0}}],)"
            R"("deploy_target":"lambda",)"
            R"("warnings":["skipping p/x.yaml: parsing framework pack YAML","tab\t\"q\"\u001b"],)"
            R"("unclassified_calls":[)"
            R"({"callee":"c.send","resolved_callee":"httpx.Client.send","receiver_rewrite":"Client.send","function":"app.f","location":{"file":"app/f.py","line":3}},)"
            R"({"callee":"g","resolved_callee":"g","function":"app.h","location":{"file":"app/f.py","line":0}}]})");
}

TEST(ManifestJson, CallsViewingSharedTextsWriteWhatCopiesWrite) {
  // Records of one function view the same stored texts, and so do a callee and the resolved name
  // it equals; the same records with every text a copy of its own must give the same bytes.
  const std::string fn = "Cls.m\"1\"", other_fn = "Cls.m\"1\"", file = "app/\x01-f\xc3\xa9.py", callee = "a.b\\c";
  const std::string_view f(fn), g(other_fn), p(file), c(callee);
  const std::vector<detect::UnclassifiedCall> shared = {
      {c, c, std::nullopt, f, {p, 0}},       {c, c, std::string_view(c), f, {p, 0}},
      {"x.y", c, std::nullopt, f, {p, 1}},   {c, "x.y", std::nullopt, g, {p, 1}},
      {c, c, std::nullopt, f, {"q.py", 1}}, {c, c, std::nullopt, f, {p, 1}},
      {"", "", std::nullopt, "", {p, 1}},    {"", "", std::nullopt, "", {p, 1}},
  };
  std::vector<std::string> copies;
  copies.reserve(shared.size() * 5);
  auto copy = [&copies](std::string_view text) { return std::string_view(copies.emplace_back(text)); };
  std::vector<detect::UnclassifiedCall> distinct;
  for (const detect::UnclassifiedCall& call : shared) {
    std::optional<std::string_view> rewrite;
    if (call.receiver_rewrite) rewrite = copy(*call.receiver_rewrite);
    distinct.push_back({copy(call.callee), copy(call.resolved_callee), rewrite, copy(call.function),
                        {copy(call.location.file), call.location.line}});
  }
  // A record's location is copied from the record before when it shows the same file view and
  // line: the counts of code points must come along with the bytes.
  JsonBuffer from_shared, from_distinct;
  write_unclassified_calls_json(from_shared, shared);
  write_unclassified_calls_json(from_distinct, distinct);
  const JsonText shared_text = std::move(from_shared).take(), distinct_text = std::move(from_distinct).take();
  EXPECT_EQ(shared_text.view(), distinct_text.view());
  EXPECT_EQ(shared_text.code_points(), distinct_text.code_points());
  EXPECT_EQ(shared_text.code_points(), shared_text.size() - 7);  // a two-byte é in seven records' file
  EXPECT_NE(distinct_text.view().find(R"({"callee":"a.b\\c","resolved_callee":"a.b\\c","function":"Cls.m\"1\"",)"
                                      "\"location\":{\"file\":\"app/\\u0001-f\xc3\xa9.py\",\"line\":0}}"),
            std::string_view::npos);
}

}  // namespace
}  // namespace vesk
