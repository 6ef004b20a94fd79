// The keyword arguments of a matched call as texts.
#include "captures/captures.h"
#include "names/names.h"

namespace detect {
namespace {

// A str literal may hold lone surrogates (`'\ud800'`), which the tree keeps in their 3-byte form.
// A keyword value is text that ends up in the manifest, where those bytes are not UTF-8 and would
// fail the whole call when the JSON is decoded, so each surrogate becomes one U+FFFD.
void append_string_value(std::string_view value, std::string& out) {
  std::size_t done = 0;
  for (std::size_t at = value.find('\xED', done); at != std::string_view::npos; at = value.find('\xED', done)) {
    // In well-formed UTF-8 an ED lead byte is followed by 80..9F; A0..BF starts a surrogate.
    if (at + 2 < value.size() && static_cast<unsigned char>(value[at + 1]) >= 0xA0) {
      out.append(value, done, at - done);
      out += "\xEF\xBF\xBD";
      done = at + 3;
    } else {
      out.append(value, done, at + 1 - done);
      done = at + 1;
    }
  }
  out.append(value, done, std::string_view::npos);
}

}  // namespace

void append_value_text(const pysyntax::Expr& value, std::string& out) {
  using pysyntax::ExprKind;
  switch (value.kind) {
    case ExprKind::StringLiteral:
      append_string_value(value.as<pysyntax::StringLiteral>().value, out);
      return;
    case ExprKind::IntLiteral:
    case ExprKind::FloatLiteral:
    case ExprKind::ComplexLiteral:
      append_number_text(value, out);
      return;
    case ExprKind::Name:
      out += value.as<pysyntax::Name>().id;
      return;
    case ExprKind::Attribute: {
      std::string dotted;
      if (dotted_name(value, dotted)) {
        out += dotted;
        return;
      }
      break;
    }
    default:
      break;
  }
  out += "<expr>";
}

KeywordValues collect_keyword_values(const pysyntax::Call& call) {
  KeywordValues values;
  for (const pysyntax::Argument& argument : call.arguments) {
    if (argument.kind != pysyntax::ArgumentKind::Keyword) continue;
    std::string text;
    append_value_text(*argument.value, text);
    values.insert_or_assign(std::string(argument.name.id), std::move(text));
  }
  return values;
}

}  // namespace detect
