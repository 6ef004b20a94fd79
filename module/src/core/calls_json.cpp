// The calls_json reader: RapidJSON's iterative SAX reader checks the syntax without recursion;
// the handler below is a small state machine over the three record levels that reports the
// first semantic fault in document order, the way serde's derived readers do. RapidJSON reads
// through a stream that hides the literals it would refuse although they are well-formed
// (json_stand_ins.h), so a skipped value needs only to be well-formed, and the one number the
// reader converts, `line`, is read from the literal as written.
#include "core/calls_json.h"

#include <rapidjson/reader.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "core/json_text.h"
#include "detect/io.h"

namespace vesk {
namespace {

using detect::SourceLocation;
using detect::UnclassifiedCall;

// Fields in declaration order, which is also the element order of the array forms.
// Field numbers are plain bytes: they index the name tables, the seen-bit masks and the
// positions of the array forms alike.
constexpr std::uint8_t kCallee = 0, kResolvedCallee = 1, kReceiverRewrite = 2, kFunction = 3,
                       kLocation = 4, kCallFieldCount = 5;
constexpr std::uint8_t kFile = 0, kLine = 1, kLocationFieldCount = 2;

constexpr std::string_view kCallFieldNames[] = {"callee", "resolved_callee", "receiver_rewrite", "function", "location"};
constexpr std::string_view kLocationFieldNames[] = {"file", "line"};
// Missing-field checks run in declaration order; receiver_rewrite is optional.
constexpr std::uint8_t kRequiredCallFields[] = {kCallee, kResolvedCallee, kFunction, kLocation};

enum class Frame : std::uint8_t { Calls, CallObject, CallArray, LocationObject, LocationArray };

// What the value being read stands for, decided before its first event arrives.
enum class Expect : std::uint8_t { Calls, Call, Text, OptionalText, Line, Location };

constexpr std::uint8_t kNoField = 0xFF;

struct ReadFault {
  std::string message;
  std::size_t at = 0;  // byte offset where reading stopped
};

class CallsHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CallsHandler> {
 public:
  explicit CallsHandler(JsonTextStream& stream) : stream_(stream) {}

  bool Null() { return scalar_value("null", [&] { return assign_null(); }); }
  bool Bool(bool b) {
    return scalar_value(b ? "boolean `true`" : "boolean `false`", [] { return false; });
  }
  // The text RapidJSON hands over may be a stand-in; the literal as written ends where the
  // stream stands.
  bool RawNumber(const char*, rapidjson::SizeType length, bool) {
    if (skipping_) return skip_scalar();
    const JsonNumber number = classify_json_number(stream_.text().substr(stream_.Tell() - length, length));
    if (expect() == Expect::Line) return assign_line(number);
    return unexpected(describe_number(number), last_byte());
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    if (skipping_) return skip_scalar();
    const std::string_view value(text, length);
    if (!detect::is_valid_utf8(value)) return lone_surrogate();
    const Expect want = expect();
    if (want == Expect::Text || want == Expect::OptionalText) {
      *text_target() = list_.texts.add(value);
      return field_done();
    }
    return unexpected(describe_string(value), last_byte());
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    if (skipping_) return true;
    if (!detect::is_valid_utf8(std::string_view(text, length))) return lone_surrogate();
    return key(std::string_view(text, length));
  }
  bool StartObject() { return start_container(true); }
  bool StartArray() { return start_container(false); }
  bool EndObject(rapidjson::SizeType) { return end_container(); }
  bool EndArray(rapidjson::SizeType) { return end_container(); }

  std::optional<ReadFault>& fault() { return fault_; }
  CallList& list() { return list_; }
  [[nodiscard]] bool finished() const { return finished_; }

 private:
  // The offset of the last byte of a value the reader has just consumed.
  [[nodiscard]] std::size_t last_byte() const { return stream_.Tell() == 0 ? 0 : stream_.Tell() - 1; }

  // The input is checked to be UTF-8, so a decoded string that is not comes from a `\u` escape
  // of a surrogate without its partner, which RapidJSON lets through when the surrogate is a
  // trailing one. serde_json names both cases with this one message. A skipped string is not
  // checked: its escapes need only be well-formed.
  bool lone_surrogate() { return fail("lone leading surrogate in hex escape", last_byte()); }

  bool fail(std::string message, std::size_t at) {
    fault_ = ReadFault{std::move(message), at};
    return false;
  }
  bool unexpected(const std::string& found, std::size_t at) {
    return fail("invalid type: " + found + ", expected " + std::string(expected_text()), at);
  }

  [[nodiscard]] Expect expect() const {
    if (frames_.empty()) return Expect::Calls;
    switch (frames_.back()) {
      case Frame::Calls: return Expect::Call;
      case Frame::CallObject:
      case Frame::CallArray:
        switch (field_) {
          case kReceiverRewrite: return Expect::OptionalText;
          case kLocation: return Expect::Location;
          default: return Expect::Text;
        }
      case Frame::LocationObject:
      case Frame::LocationArray:
        return field_ == kLine ? Expect::Line : Expect::Text;
    }
    return Expect::Text;
  }

  [[nodiscard]] std::string_view expected_text() const {
    switch (expect()) {
      case Expect::Calls: return "a sequence";
      case Expect::Call: return "struct UnclassifiedCall";
      case Expect::Text:
      case Expect::OptionalText: return "a string";
      case Expect::Line: return "u32";
      case Expect::Location: return "struct SourceLocation";
    }
    return "";
  }

  [[nodiscard]] bool in_location() const {
    return frames_.back() == Frame::LocationObject || frames_.back() == Frame::LocationArray;
  }

  std::string_view* text_target() {
    if (in_location()) return &call_.location.file;
    switch (field_) {
      case kCallee: return &call_.callee;
      case kResolvedCallee: return &call_.resolved_callee;
      case kReceiverRewrite: return &call_.receiver_rewrite.emplace();
      default: return &call_.function;
    }
  }

  template <typename Assign>
  bool scalar_value(std::string_view found, Assign assign) {
    if (skipping_) return skip_scalar();
    if (assign()) return field_done();
    if (fault_) return false;
    return unexpected(std::string(found), last_byte());
  }

  bool assign_null() {
    if (expect() != Expect::OptionalText) return false;
    call_.receiver_rewrite.reset();
    return true;
  }

  bool assign_line(const JsonNumber& number) {
    switch (number.kind) {
      case JsonNumber::Kind::Unsigned:
        if (number.unsigned_value <= UINT32_MAX) {
          call_.location.line = static_cast<std::uint32_t>(number.unsigned_value);
          return field_done();
        }
        [[fallthrough]];
      case JsonNumber::Kind::Signed:
      case JsonNumber::Kind::WideInteger:
        return fail("invalid value: " + describe_number(number) + ", expected u32", last_byte());
      default:
        return unexpected(describe_number(number), last_byte());
    }
  }

  bool key(std::string_view name) {
    const bool location = in_location();
    const std::string_view* names = location ? kLocationFieldNames : kCallFieldNames;
    const std::uint8_t count = location ? kLocationFieldCount : kCallFieldCount;
    std::uint8_t& seen = location ? seen_location_ : seen_call_;
    for (std::uint8_t i = 0; i < count; ++i) {
      if (names[i] != name) continue;
      if ((seen & (1u << i)) != 0) return fail("duplicate field `" + std::string(name) + "`", last_byte());
      seen = static_cast<std::uint8_t>(seen | (1u << i));
      field_ = i;
      return true;
    }
    // An undeclared key: its value is passed over, however deep it nests, by counting brackets.
    set_skipping(true);
    skip_open_ = 0;
    return true;
  }

  void set_skipping(bool skipping) {
    skipping_ = skipping;
    stream_.show_escape_stand_ins(skipping);
  }

  bool skip_scalar() {
    if (skip_open_ == 0) set_skipping(false);
    return true;
  }

  bool push(Frame frame) {
    if (frames_.size() >= kCallsJsonNestingLimit) return fail("recursion limit exceeded", stream_.Tell());
    frames_.push_back(frame);
    return true;
  }

  bool start_container(bool object) {
    if (skipping_) {
      ++skip_open_;
      return true;
    }
    switch (expect()) {
      case Expect::Calls:
        if (object) break;
        return push(Frame::Calls);
      case Expect::Call:
        call_ = UnclassifiedCall{};
        seen_call_ = 0;
        field_ = object ? kNoField : kCallee;
        return push(object ? Frame::CallObject : Frame::CallArray);
      case Expect::Location:
        seen_location_ = 0;
        field_ = object ? kNoField : kFile;
        return push(object ? Frame::LocationObject : Frame::LocationArray);
      default:
        break;
    }
    return unexpected(object ? "map" : "sequence", stream_.Tell());
  }

  // The bracket being closed is at the stream's position; a comma just before it (white space
  // aside) is a trailing comma, which RapidJSON lets through only so that it can be named here.
  [[nodiscard]] bool comma_before_close() const {
    const std::size_t i = skip_json_whitespace_back(stream_.text(), stream_.Tell());
    return i > 0 && stream_.text()[i - 1] == ',';
  }

  bool end_container() {
    if (comma_before_close()) return fail("trailing comma", stream_.Tell());
    if (skipping_) {
      if (--skip_open_ == 0) set_skipping(false);
      return true;
    }
    const Frame frame = frames_.back();
    switch (frame) {
      case Frame::Calls:
        frames_.pop_back();
        finished_ = true;
        return true;
      case Frame::CallObject:
        for (const std::uint8_t required : kRequiredCallFields) {
          if ((seen_call_ & (1u << required)) == 0) return missing(kCallFieldNames[required]);
        }
        break;
      case Frame::CallArray:
        if (field_ < kCallFieldCount) return short_array(field_, "struct UnclassifiedCall with 5 elements");
        break;
      case Frame::LocationObject:
        for (std::uint8_t f = 0; f < kLocationFieldCount; ++f) {
          if ((seen_location_ & (1u << f)) == 0) return missing(kLocationFieldNames[f]);
        }
        break;
      case Frame::LocationArray:
        if (field_ < kLocationFieldCount) return short_array(field_, "struct SourceLocation with 2 elements");
        break;
    }
    frames_.pop_back();
    if (frame == Frame::CallObject || frame == Frame::CallArray) {
      list_.calls.push_back(call_);
      return true;
    }
    // A finished location completes the call's `location` field; the closing bracket is the
    // last byte read, the stream still stands on it.
    field_ = kLocation;
    return field_done(stream_.Tell() + 1);
  }

  bool missing(std::string_view name) {
    return fail("missing field `" + std::string(name) + "`", stream_.Tell());
  }
  bool short_array(std::uint8_t length, std::string_view expected) {
    return fail("invalid length " + std::to_string(length) + ", expected " + std::string(expected),
                stream_.Tell());
  }

  // One field's value is complete; `next` is the offset just after it.
  bool field_done() { return field_done(stream_.Tell()); }
  bool field_done(std::size_t next) {
    const Frame frame = frames_.back();
    if (frame == Frame::CallObject || frame == Frame::LocationObject) {
      field_ = kNoField;
      return true;
    }
    if (frame == Frame::Calls) return true;
    ++field_;
    const std::uint8_t arity = frame == Frame::CallArray ? kCallFieldCount : kLocationFieldCount;
    if (field_ < arity) return true;
    // The array form is complete: the next token must close it. A further element is reported
    // as trailing characters before it is read, so even a malformed one gives that message.
    const std::string_view text = stream_.text();
    const std::size_t after = skip_json_whitespace(text, next);
    if (after < text.size() && text[after] == ',') {
      const std::size_t then = skip_json_whitespace(text, after + 1);
      const bool closes = then < text.size() && text[then] == ']';
      return fail(closes ? "trailing comma" : "trailing characters", then);
    }
    return true;
  }

  JsonTextStream& stream_;
  std::vector<Frame> frames_;
  CallList list_;
  UnclassifiedCall call_;
  std::uint8_t seen_call_ = 0;
  std::uint8_t seen_location_ = 0;
  std::uint8_t field_ = kNoField;
  bool skipping_ = false;
  std::uint64_t skip_open_ = 0;
  bool finished_ = false;
  std::optional<ReadFault> fault_;
};

// RapidJSON's default allocator hands a null pointer on to code that writes through it; this one
// ends an exhausted allocation the way every other allocation of the module ends, as
// std::bad_alloc, which the Python boundary turns into MemoryError.
class StackAllocator {
 public:
  void* Malloc(std::size_t size) {
    if (size == 0) return nullptr;
    return checked(std::malloc(size));
  }
  void* Realloc(void* original, std::size_t, std::size_t new_size) {
    if (new_size == 0) {
      std::free(original);
      return nullptr;
    }
    return checked(std::realloc(original, new_size));
  }
  static void Free(void* pointer) { std::free(pointer); }

 private:
  static void* checked(void* pointer) {
    if (pointer == nullptr) throw std::bad_alloc();
    return pointer;
  }
};

// The message of a syntax error found by RapidJSON, in serde_json's words.
std::string syntax_error_text(rapidjson::ParseErrorCode code, std::string_view text, std::size_t at) {
  const bool at_end = at >= text.size();
  const auto byte = at_end ? 0 : static_cast<unsigned char>(text[at]);
  switch (code) {
    case rapidjson::kParseErrorDocumentEmpty:
      return at_end ? "EOF while parsing a value" : "expected value";
    case rapidjson::kParseErrorValueInvalid: {
      // RapidJSON names one fault for every bad value start; the byte before tells them apart.
      const std::size_t before = at == 0 ? 0 : skip_json_whitespace_back(text, at);
      const char previous = before == 0 ? '\0' : text[before - 1];
      if (previous == '-' && before == at) return at_end ? "EOF while parsing a value" : "invalid number";
      if (previous >= 'a' && previous <= 'z' && before == at) return "expected ident";
      if (at_end) return previous == '[' ? "EOF while parsing a list" : "EOF while parsing a value";
      return "expected value";
    }
    case rapidjson::kParseErrorNumberMissFraction:
    case rapidjson::kParseErrorNumberMissExponent:
      return at_end ? "EOF while parsing a value" : "invalid number";
    case rapidjson::kParseErrorObjectMissName:
      return at_end ? "EOF while parsing an object" : "key must be a string";
    case rapidjson::kParseErrorObjectMissColon:
      return at_end ? "EOF while parsing an object" : "expected `:`";
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
      return at_end ? "EOF while parsing an object" : "expected `,` or `}`";
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
      return at_end ? "EOF while parsing a list" : "expected `,` or `]`";
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
    case rapidjson::kParseErrorStringEscapeInvalid:
    case rapidjson::kParseErrorStringMissQuotationMark:
      if (at_end) return "EOF while parsing a string";
      if (byte < 0x20) return "control character (\\u0000-\\u001F) found while parsing a string";
      return "invalid escape";
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
      return "lone leading surrogate in hex escape";
    case rapidjson::kParseErrorStringInvalidEncoding:
      return "invalid unicode code point";
    case rapidjson::kParseErrorNumberTooBig:
      return "number out of range";
    default:
      return "expected value";
  }
}

ReadFault syntax_error(rapidjson::ParseErrorCode code, std::string_view text, std::size_t at) {
  if (code == rapidjson::kParseErrorNumberTooBig) {
    // A well-formed literal reaches RapidJSON as a stand-in, so what it still refuses is one that
    // breaks off after a long integer part: the fault is where it breaks off, as for any other.
    const NumberLiteral literal = scan_number_literal(text, at);
    if (!literal.well_formed) return syntax_error(rapidjson::kParseErrorNumberMissFraction, text, literal.end);
  }
  return ReadFault{syntax_error_text(code, text, at), at};
}

}  // namespace

detect::Result<CallList> parse_calls_json(std::string_view text) {
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag |
                              rapidjson::kParseTrailingCommasFlag | rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseValidateEncodingFlag;
  JsonTextStream stream(text);
  CallsHandler handler(stream);
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, StackAllocator> reader;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, handler);

  std::optional<ReadFault> fault = std::move(handler.fault());
  if (!fault && result.IsError()) fault = syntax_error(result.Code(), text, result.Offset());
  if (!fault && !handler.finished()) {
    // A NUL byte stops RapidJSON as if the text ended there.
    fault = ReadFault{"expected value", stream.Tell()};
  }
  if (!fault) {
    const std::size_t rest = skip_json_whitespace(text, stream.Tell());
    if (rest < text.size()) fault = ReadFault{"trailing characters", rest};
  }
  if (fault) return detect::Error(fault->message + json_position_suffix(text, fault->at));
  return std::move(handler.list());
}

}  // namespace vesk
