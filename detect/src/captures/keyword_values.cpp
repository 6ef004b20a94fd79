// The keyword arguments of a matched call as texts.
#include "captures/captures.h"
#include "names/names.h"

namespace detect {

void append_value_text(const pysyntax::Expr& value, std::string& out) {
  using pysyntax::ExprKind;
  switch (value.kind) {
    case ExprKind::StringLiteral:
      out += value.as<pysyntax::StringLiteral>().value;
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
