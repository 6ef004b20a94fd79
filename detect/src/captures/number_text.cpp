// Text forms of number literals and of 64-bit floats, as keyword values show them.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "captures/captures.h"

namespace detect {
namespace {

bool has_base_prefix(std::string_view literal) {
  if (literal.size() < 2 || literal[0] != '0') return false;
  char c = literal[1];
  return c == 'x' || c == 'X' || c == 'o' || c == 'O' || c == 'b' || c == 'B';
}

void append_int_text(const pysyntax::IntLiteral& literal, std::string& out) {
  out += "Int(";
  if (literal.fits) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, literal.value);
    out.append(buffer, result.ptr);
  } else if (has_base_prefix(literal.text)) {
    out += literal.text;
  } else {
    for (char c : literal.text)
      if (c != '_') out.push_back(c);
  }
  out += ')';
}

}  // namespace

void append_float_text(double value, std::string& out) {
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  // Shortest round-trip digits in scientific form: "[-]d[.ddd]e[+-]xx".
  char buffer[40];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (!text.empty() && text.front() == '-') {
    out.push_back('-');
    text.remove_prefix(1);
  }
  std::size_t e = text.find('e');
  char digits[24];
  std::size_t count = 0;
  for (char c : text.substr(0, e))
    if (c != '.') digits[count++] = c;
  int exponent = 0;
  std::string_view exponent_text = text.substr(e + 1);
  if (exponent_text.front() == '+') exponent_text.remove_prefix(1);
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  double magnitude = std::fabs(value);
  if (value == 0.0 || (magnitude >= 1e-4 && magnitude < 1e16)) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out.append(digits, count);
      return;
    }
    std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    if (count <= whole) {
      out.append(digits, count);
      out.append(whole - count, '0');
      out += ".0";
    } else {
      out.append(digits, whole);
      out.push_back('.');
      out.append(digits + whole, count - whole);
    }
    return;
  }
  out.push_back(digits[0]);
  if (count > 1) {
    out.push_back('.');
    out.append(digits + 1, count - 1);
  }
  out.push_back('e');
  char exponent_buffer[8];
  auto written = std::to_chars(exponent_buffer, exponent_buffer + sizeof exponent_buffer, exponent);
  out.append(exponent_buffer, written.ptr);
}

void append_number_text(const pysyntax::Expr& literal, std::string& out) {
  switch (literal.kind) {
    case pysyntax::ExprKind::IntLiteral:
      append_int_text(literal.as<pysyntax::IntLiteral>(), out);
      break;
    case pysyntax::ExprKind::FloatLiteral:
      out += "Float(";
      append_float_text(literal.as<pysyntax::FloatLiteral>().value, out);
      out += ')';
      break;
    case pysyntax::ExprKind::ComplexLiteral:
      out += "Complex { real: ";
      append_float_text(0.0, out);
      out += ", imag: ";
      append_float_text(literal.as<pysyntax::ComplexLiteral>().imag, out);
      out += " }";
      break;
    default:
      break;
  }
}

}  // namespace detect
