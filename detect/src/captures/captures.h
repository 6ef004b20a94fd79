// Keyword values of a matched call and the capture templates of an idiom rule filled from them.
// A hit's name, provider and model come from here: `collect_keyword_values` gives every keyword
// argument of the call a fixed text form, `CaptureExpander::expand` replaces each
// "{kwarg('k')}" placeholder of a template by the text of keyword k (empty when the call has none).
//
//   detect::CaptureExpander expander(seeds.next());  // once per analysis
//   detect::CallKeywords call(detect::collect_keyword_values(call_expression));  // once per call
//   std::string name = expander.expand(rule.capture.at("name"), call);
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "captures/quote_gaps.h"
#include "captures/sequential_replacement.h"
#include "captures/text_hash.h"
#include "common/seeded_hash.h"
#include "pysyntax/ast.h"

namespace re2 {
class RE2;
}

namespace detect {

// Keyword name -> text of its value; std::map keeps keys in ascending bytewise order.
using KeywordValues = std::map<std::string, std::string, std::less<>>;

// The text of every keyword argument of `call`, in source order, a repeated name replacing the
// earlier text; `**mapping` arguments and positional arguments give nothing.
[[nodiscard]] KeywordValues collect_keyword_values(const pysyntax::Call& call);

// The text of one keyword value: a string's value, a number's text, a name, an attribute's
// dotted name, or "<expr>" for everything else.
void append_value_text(const pysyntax::Expr& value, std::string& out);

// "Int(42)", "Float(0.7)", "Complex { real: 0.0, imag: 2.0 }" for the three number literals.
void append_number_text(const pysyntax::Expr& literal, std::string& out);

// The shortest decimal digits that read back to `value`, positional ("0.7", "1.0", "100000.0")
// for zero and magnitudes in [1e-4, 1e16), scientific ("1e16", "1.5e-5") otherwise; "inf".
void append_float_text(double value, std::string& out);

// The longest capture result: agent and tool names, providers and model names are short labels,
// and a bound far above any of them keeps every hit's texts, and so the manifest, proportional to
// the input however the templates feed on each other.
inline constexpr std::size_t kCaptureTextLimit = 4096;

// The keyword values of one call, shared by the expansions of every rule that matches it: each
// value is cut at its quotes once, when an expansion first names it. Bound to the expander that
// cut them (the cuts carry its hashes).
class CallKeywords {
 public:
  explicit CallKeywords(KeywordValues values) : values_(std::move(values)) {}
  const KeywordValues& values() const { return values_; }

 private:
  friend class CaptureExpander;
  KeywordValues values_;
  std::unordered_map<const std::string*, ValueCut> cuts_;
};

// Fills capture templates. One per analysis: the placeholder pattern `\{kwarg\('([^']+)'\)\}` is
// compiled once, at the first expansion, each distinct template is searched for it once, and the
// working storage is reused from one expansion to the next.
class CaptureExpander {
 public:
  explicit CaptureExpander(HashKey key, std::size_t limit = kCaptureTextLimit);
  ~CaptureExpander();
  CaptureExpander(const CaptureExpander&) = delete;
  CaptureExpander& operator=(const CaptureExpander&) = delete;

  // The template with, for each placeholder match of it (found in the template as written, left
  // to right), every occurrence of the match's text in the result built so far replaced by the
  // value of its keyword. The empty text, as for an absent keyword, when that result is longer
  // than the limit or when the replacements would remove and insert more than `work_budget`
  // bytes in all (see sequential_replacement.h).
  // Throws std::bad_alloc when the pattern cannot be compiled, which only exhausted memory causes.
  [[nodiscard]] std::string expand(std::string_view template_text, CallKeywords& call);

 private:
  // A template's placeholders: each distinct name with its first match, and the steps (one
  // per match, left to right) as indices of the names.
  struct Placeholders {
    struct Name {
      std::uint32_t match_offset;  // of the name's first match in the template
      std::uint32_t match_size;
      std::uint32_t name_offset;  // of the name itself, inside that match
      std::uint32_t name_size;
    };
    std::vector<Name> names;
    std::vector<std::uint32_t> steps;
  };

  const ValueCut& cut(CallKeywords& call, const std::string& value);
  const Placeholders& placeholders(std::string_view template_text);

  std::unique_ptr<re2::RE2> regex_;  // null until the first expansion
  TextMap<Placeholders> templates_;  // every template met so far
  HashKey key_;
  std::size_t limit_;
  TextHasher hasher_;
  SequentialReplacement replacement_;
  std::vector<PlaceholderValue> names_;
};

}  // namespace detect
