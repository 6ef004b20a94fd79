// Keyword values of a matched call and the capture templates of an idiom rule filled from them.
// A hit's name, provider and model come from here: `collect_keyword_values` gives every keyword
// argument of the call a fixed text form, `expand_captures` replaces each "{kwarg('k')}"
// placeholder of a template by the text of keyword k (empty when the call has none).
//
//   detect::CapturePattern pattern;  // once per analysis
//   detect::KeywordValues values = detect::collect_keyword_values(call);
//   detect::CaptureResults results = detect::expand_captures(pattern, rule.capture, values);
#pragma once

#include <map>
#include <memory>
#include <string>

#include "pysyntax/ast.h"

namespace re2 {
class RE2;
}

namespace detect {

// Keyword name -> text of its value; std::map keeps keys in ascending bytewise order.
using KeywordValues = std::map<std::string, std::string>;
// Capture key -> expanded template, ascending bytewise by key.
using CaptureResults = std::map<std::string, std::string>;

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

// The placeholder pattern `\{kwarg\('([^']+)'\)\}`, compiled once and shared by every expansion.
class CapturePattern {
 public:
  CapturePattern();
  ~CapturePattern();
  CapturePattern(const CapturePattern&) = delete;
  CapturePattern& operator=(const CapturePattern&) = delete;
  const re2::RE2& regex() const { return *regex_; }

 private:
  std::unique_ptr<re2::RE2> regex_;
};

// Every template of `capture`, each placeholder match (found in the template as written, left to
// right) replacing all of its occurrences in the result built so far.
[[nodiscard]] CaptureResults expand_captures(const CapturePattern& pattern,
                                             const std::map<std::string, std::string>& capture,
                                             const KeywordValues& values);

}  // namespace detect
