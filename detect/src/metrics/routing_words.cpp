// Routing words in the names of an if test or a match subject. Identifiers are lowercased by the
// full Unicode default mapping (ICU, root locale), not character by character: U+0130 becomes
// "i" + U+0307, so "İNTENT" holds no "intent", while a per-character mapping would find one.
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <new>
#include <string>
#include <string_view>

#include "metrics/builtin_tables.h"
#include "metrics/metrics.h"
#include "pysyntax/invariant.h"

namespace detect {
namespace {

bool is_ascii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool holds_routing_word(std::string_view lowered) {
  for (std::string_view word : routing_words) {
    if (lowered.find(word) != std::string_view::npos) return true;
  }
  return false;
}

// ICU calls with a growing output: one retry at the size ICU asks for. Returns false on any
// other failure (which valid UTF-8 from the parser does not cause). ICU's lack of memory is not
// such a failure, which would read as "no routing word": it throws std::bad_alloc like every
// other exhausted allocation.
template <typename Call, typename Buffer>
bool run_growing(Call&& call, Buffer& out) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = call(out.data(), static_cast<int32_t>(out.size()), status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<std::size_t>(length));
    status = U_ZERO_ERROR;
    length = call(out.data(), static_cast<int32_t>(out.size()), status);
  }
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) return false;
  out.resize(static_cast<std::size_t>(length));
  return true;
}

// The full default lowercase mapping of a UTF-8 text, as UTF-8.
bool full_lowercase(std::string_view word, std::string& out) {
  std::u16string utf16(word.size(), u'\0');
  if (!run_growing(
          [&](char16_t* dest, int32_t capacity, UErrorCode& status) {
            int32_t length = 0;
            u_strFromUTF8(dest, capacity, &length, word.data(), static_cast<int32_t>(word.size()),
                          &status);
            return length;
          },
          utf16)) {
    return false;
  }
  std::u16string lowered(utf16.size(), u'\0');
  if (!run_growing(
          [&](char16_t* dest, int32_t capacity, UErrorCode& status) {
            return u_strToLower(dest, capacity, utf16.data(), static_cast<int32_t>(utf16.size()), "",
                                &status);
          },
          lowered)) {
    return false;
  }
  out.assign(lowered.size() * 3, '\0');
  return run_growing(
      [&](char* dest, int32_t capacity, UErrorCode& status) {
        int32_t length = 0;
        u_strToUTF8(dest, capacity, &length, lowered.data(), static_cast<int32_t>(lowered.size()),
                    &status);
        return length;
      },
      out);
}

}  // namespace

void check_routing_word(bool& flag, std::string_view word) {
  std::string lowered;
  if (is_ascii(word)) {
    // The full mapping takes ASCII letters to ASCII letters and leaves every other ASCII byte.
    lowered.assign(word);
    for (char& c : lowered) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    VESK_INVARIANT(([&] {
                     std::string full;
                     return full_lowercase(word, full) && full == lowered;
                   }()),
                   "the ASCII lowercasing differs from the full Unicode mapping");
  } else if (!full_lowercase(word, lowered)) {
    return;
  }
  if (holds_routing_word(lowered)) flag = true;
}

void scan_routing_names(const pysyntax::Expr& expression, bool& flag) {
  using pysyntax::ExprKind;
  switch (expression.kind) {
    case ExprKind::Name:
      check_routing_word(flag, expression.as<pysyntax::Name>().id);
      return;
    case ExprKind::Attribute: {
      const auto& e = expression.as<pysyntax::Attribute>();
      check_routing_word(flag, e.attr.id);
      scan_routing_names(*e.value, flag);
      return;
    }
    case ExprKind::BinOp: {
      const auto& e = expression.as<pysyntax::BinOp>();
      scan_routing_names(*e.left, flag);
      scan_routing_names(*e.right, flag);
      return;
    }
    case ExprKind::Subscript: {
      const auto& e = expression.as<pysyntax::Subscript>();
      scan_routing_names(*e.value, flag);
      scan_routing_names(*e.slice, flag);
      return;
    }
    case ExprKind::UnaryOp:
      scan_routing_names(*expression.as<pysyntax::UnaryOp>().operand, flag);
      return;
    case ExprKind::BoolOp:
      for (const pysyntax::Expr* value : expression.as<pysyntax::BoolOp>().values) {
        scan_routing_names(*value, flag);
      }
      return;
    case ExprKind::Compare: {
      const auto& e = expression.as<pysyntax::Compare>();
      scan_routing_names(*e.left, flag);
      for (const pysyntax::Expr* comparator : e.comparators) scan_routing_names(*comparator, flag);
      return;
    }
    case ExprKind::Call: {
      // Positional arguments only; a `*args` argument is a starred expression, not looked into.
      const auto& e = expression.as<pysyntax::Call>();
      scan_routing_names(*e.func, flag);
      for (const pysyntax::Argument& argument : e.arguments) {
        if (argument.kind == pysyntax::ArgumentKind::Positional) scan_routing_names(*argument.value, flag);
      }
      return;
    }
    case ExprKind::List:
      for (const pysyntax::Expr* element : expression.as<pysyntax::List>().elts) {
        scan_routing_names(*element, flag);
      }
      return;
    case ExprKind::Tuple:
      for (const pysyntax::Expr* element : expression.as<pysyntax::Tuple>().elts) {
        scan_routing_names(*element, flag);
      }
      return;
    default:
      return;
  }
}

}  // namespace detect
