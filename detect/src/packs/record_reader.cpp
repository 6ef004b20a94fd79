// The non-template part of the record reader: scalar value rules, absence, alias expansion and its
// limits, skipping, free values, and the reading errors with their path and position.
#include "packs/record_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <utility>
#include <vector>

#include "packs/scalar_forms.h"

namespace detect::packs {

namespace {

constexpr std::string_view kNullTag = "tag:yaml.org,2002:null";
constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";
constexpr std::string_view kIntTag = "tag:yaml.org,2002:int";
constexpr std::string_view kFloatTag = "tag:yaml.org,2002:float";

// Appends `part` so that a sequence of parts reads back unambiguously.
void append_part(std::string& out, std::string_view part) {
  out += std::to_string(part.size());
  out += ':';
  out += part;
}

void append_float_identity(std::string& out, double value) {
  // One NaN, and 0.0 equal to -0.0, as keys compare.
  if (std::isnan(value)) {
    out += "fnan";
    return;
  }
  if (value == 0.0) value = 0.0;
  std::array<char, 64> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  (void)error;
  out += 'f';
  out.append(buffer.data(), end);
}

void append_integer_identity(std::string& out, const IntegerNumeral& numeral) {
  out += numeral.negative ? "i-" : "i";
  out += numeral.magnitude;
}

void append_plain_identity(std::string& out, std::string_view text) {
  switch (classify_plain(text)) {
    case PlainKind::Null:
      out += 'n';
      return;
    case PlainKind::Bool:
      out += *parse_bool(text) ? "b1" : "b0";
      return;
    case PlainKind::Integer:
      append_integer_identity(out, *parse_integer(text, true));
      return;
    case PlainKind::Float:
      append_float_identity(out, *parse_plain_float(text));
      return;
    case PlainKind::String:
      out += 's';
      out += text;
      return;
  }
}

}  // namespace

RecordReader::RecordReader(YamlDocument& document, HashSeeds& seeds)
    : doc_(document), seeds_(seeds), collections_(0, SeededTextHash{seeds_.next()}) {}

bool RecordReader::read(std::size_t& pos, std::string& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind != EventKind::Scalar) return fail_invalid_type(node, "a string");
    out.assign(text(node));
    ++at;
    return true;
  });
}

bool RecordReader::read(std::size_t& pos, float& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind == EventKind::Scalar && node.plain) {
      if (const std::optional<double> value = parse_plain_float(text(node))) {
        out = narrow_to_float(*value);
        ++at;
        return true;
      }
    }
    return fail_invalid_type(node, "f32");
  });
}

bool RecordReader::read(std::size_t& pos, std::uint32_t& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind == EventKind::Scalar && node.plain) {
      if (const std::optional<IntegerNumeral> numeral = parse_integer(text(node), false)) {
        const std::optional<std::uint32_t> value = fits_u32(*numeral);
        if (!value) return fail("invalid value: integer `" + numeral->magnitude + "`, expected u32", node);
        out = *value;
        ++at;
        return true;
      }
    }
    return fail_invalid_type(node, "u32");
  });
}

bool RecordReader::read(std::size_t& pos, bool& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind == EventKind::Scalar && node.plain) {
      if (const std::optional<bool> value = parse_bool(text(node))) {
        out = *value;
        ++at;
        return true;
      }
    }
    return fail_invalid_type(node, "a boolean");
  });
}

bool RecordReader::read(std::size_t& pos, FreeValue&) { return read_free(pos, nullptr); }

bool RecordReader::expand(const YamlEvent& alias, std::size_t& first) {
  const AnchoredNode node = doc_.anchored(alias);
  // Counted before anything is replayed, so a bomb stops before it costs.
  ++expansions_;
  replayed_ += node.units;
  // The limits grow with the document: only its whole size can refuse an expansion.
  if (!within_expansion_limits() && !doc_.finished()) doc_.finish();
  if (!within_expansion_limits()) return fail_unplaced("repetition limit exceeded");
  first = node.first;
  return true;
}

bool RecordReader::within_expansion_limits() const {
  return expansions_ <= kExpansionsPerEvent * doc_.event_count() &&
         replayed_ <= std::max(kReplayFloorUnits, doc_.units());
}

bool RecordReader::enter_level(const YamlEvent& node) {
  if (levels_left_ == 0) {
    error_ = PackReadError{"recursion limit exceeded", "", node.line, node.column};
    return false;
  }
  --levels_left_;
  return true;
}

bool RecordReader::skip(std::size_t& pos) {
  std::size_t depth = 0;
  do {  // every pass consumes one event
    switch (doc_.event(pos).kind) {
      case EventKind::End:
        return fail_at_end();
      case EventKind::SequenceStart:
      case EventKind::MappingStart:
        ++depth;
        break;
      case EventKind::SequenceEnd:
      case EventKind::MappingEnd:
        --depth;
        break;
      default:
        break;
    }
    ++pos;
  } while (depth > 0);
  return true;
}

bool RecordReader::read_key(std::size_t& pos, std::string_view& key, std::string_view expecting) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind != EventKind::Scalar) return fail_invalid_type(node, expecting);
    key = text(node);
    ++at;
    return true;
  });
}

bool RecordReader::is_absent(const YamlEvent& node, bool& absent) {
  absent = false;
  switch (node.kind) {
    case EventKind::End:
      return fail_at_end();
    case EventKind::Void:
      absent = true;
      return true;
    case EventKind::Scalar:
      break;
    default:
      return true;
  }
  if (!node.plain) return true;
  const std::string_view tag = doc_.tag(node);
  if (tag == kNullTag) {
    if (!is_null_form(text(node))) return fail_invalid_value(node, "null");
    absent = true;
    return true;
  }
  // A scalar under any other tag is a value, so that `target: !function` names its spelling.
  absent = tag.empty() && (text(node).empty() || is_null_form(text(node)));
  return true;
}

bool RecordReader::read_free(std::size_t& pos, std::string* identity) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    switch (node.kind) {
      case EventKind::Scalar:
        if (!check_core_tag(node)) return false;
        if (identity != nullptr) append_scalar_identity(node, *identity);
        ++at;
        return true;
      case EventKind::Void:
        if (identity != nullptr) *identity += 'n';
        ++at;
        return true;
      case EventKind::SequenceStart:
        return read_free_sequence(at, identity);
      case EventKind::MappingStart:
        return read_free_mapping(at, identity);
      default:  // End; the ends of collections never begin a node
        return fail_at_end();
    }
  });
}

bool RecordReader::read_free_sequence(std::size_t& at, std::string* identity) {
  const YamlEvent& node = doc_.event(at);
  const Level level(*this, node);
  if (!level) return false;
  std::string signature;
  if (identity != nullptr) {
    append_local_tag(node, signature);
    signature += '[';
  }
  ++at;
  for (std::size_t index = 0; doc_.event(at).kind != EventKind::SequenceEnd; ++index) {
    const PathScope scope(*this, index);
    std::string item;
    if (!read_free(at, identity != nullptr ? &item : nullptr)) return false;
    if (identity != nullptr) append_part(signature, item);
  }
  ++at;
  if (identity != nullptr) append_collection_identity(signature, *identity);
  return true;
}

// Keys are compared as the values they stand for (1 and 0x1 are one key, 1 and 1.0 two), so each
// key is reduced to an identity text; a mapping's identity does not depend on its entries' order.
bool RecordReader::read_free_mapping(std::size_t& at, std::string* identity) {
  const YamlEvent& node = doc_.event(at);
  const Level level(*this, node);
  if (!level) return false;
  ++at;
  std::unordered_set<std::string, SeededTextHash, TextEqual> keys(0, SeededTextHash{seeds_.next()});
  std::vector<std::string> entries;
  while (doc_.event(at).kind != EventKind::MappingEnd) {
    const YamlEvent* key_node = &doc_.event(at);
    if (key_node->kind == EventKind::Alias) key_node = &doc_.event(doc_.anchored(*key_node).first);
    const std::string_view key_text = key_node->kind == EventKind::Scalar ? text(*key_node) : "?";
    std::string key;
    if (!read_free(at, &key)) return false;
    if (!keys.insert(key).second) return fail("duplicate entry in YAML map", node);
    const PathScope scope(*this, key_text);
    std::string value;
    if (!read_free(at, identity != nullptr ? &value : nullptr)) return false;
    if (identity != nullptr) {
      std::string entry;
      append_part(entry, key);
      append_part(entry, value);
      entries.push_back(std::move(entry));
    }
  }
  ++at;
  if (identity != nullptr) {
    std::string signature;
    append_local_tag(node, signature);
    signature += '{';
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) append_part(signature, entry);
    append_collection_identity(signature, *identity);
  }
  return true;
}

void RecordReader::append_collection_identity(const std::string& signature, std::string& identity) {
  // A short signature is its own identity: copying it into each enclosing one costs no more than a
  // number would, and most keys that are collections are small.
  constexpr std::size_t kShortSignature = 64;
  if (signature.size() <= kShortSignature) {
    identity += '=';
    identity += signature;
    return;
  }
  const auto [numbered, fresh] = collections_.try_emplace(signature, collections_.size());
  (void)fresh;
  identity += '#';
  char bytes[sizeof(std::uint64_t)];
  std::memcpy(bytes, &numbered->second, sizeof bytes);
  identity.append(bytes, sizeof bytes);
}

bool RecordReader::check_core_tag(const YamlEvent& node) {
  const std::string_view tag = doc_.tag(node);
  const std::string_view value = text(node);
  if (tag == kNullTag && !is_null_form(value)) return fail_invalid_value(node, "null");
  if (tag == kBoolTag && !parse_bool(value)) return fail_invalid_value(node, "a boolean");
  if (tag == kIntTag && !parse_integer(value, true)) return fail_invalid_value(node, "an integer");
  if (tag == kFloatTag && !parse_float(value)) return fail_invalid_value(node, "a float");
  return true;
}

void RecordReader::append_scalar_identity(const YamlEvent& node, std::string& identity) const {
  const std::string_view tag = doc_.tag(node);
  const std::string_view value = text(node);
  if (tag == kNullTag) {
    identity += 'n';
  } else if (tag == kBoolTag) {
    identity += *parse_bool(value) ? "b1" : "b0";
  } else if (tag == kIntTag) {
    append_integer_identity(identity, *parse_integer(value, true));
  } else if (tag == kFloatTag) {
    append_float_identity(identity, *parse_float(value));
  } else if (!tag.empty() && tag[0] != '!') {
    identity += 's';  // another core or global tag: the text as it is
    identity += value;
  } else {
    append_local_tag(node, identity);
    if (node.plain) {
      append_plain_identity(identity, value);
    } else {
      identity += 's';
      identity += value;
    }
  }
}

void RecordReader::append_local_tag(const YamlEvent& node, std::string& identity) const {
  const std::optional<std::string_view> tag = local_tag_name(node);
  if (!tag) return;
  identity += 't';
  append_part(identity, *tag);
}

bool RecordReader::is_empty_value(const YamlEvent& node) const {
  return node.kind == EventKind::Void || (node.kind == EventKind::Scalar && node.plain && node.text_size == 0);
}

bool RecordReader::is_unit(const YamlEvent& node) const {
  return is_empty_value(node) || (node.kind == EventKind::Scalar && node.plain && is_null_form(text(node)));
}

std::optional<std::string_view> RecordReader::local_tag_name(const YamlEvent& node) const {
  const std::string_view tag = doc_.tag(node);
  if (tag.empty() || tag[0] != '!') return std::nullopt;
  return tag.substr(1);
}

std::string RecordReader::describe(const YamlEvent& node) const {
  switch (node.kind) {
    case EventKind::Scalar:
      return describe_scalar(text(node), node.plain);
    case EventKind::SequenceStart:
      return "sequence";
    case EventKind::MappingStart:
      return "map";
    default:
      return "unit value";
  }
}

std::string RecordReader::path_text() const {
  std::string path;
  for (const PathStep& step : path_) {
    if (step.is_index) {
      path += '[';
      path += std::to_string(step.index);
      path += ']';
    } else {
      if (!path.empty()) path += '.';
      path += step.key;
    }
  }
  return path;
}

bool RecordReader::fail(std::string message, const YamlEvent& node) {
  error_ = PackReadError{std::move(message), path_text(), node.line, node.column};
  return false;
}

bool RecordReader::fail_invalid_type(const YamlEvent& node, std::string_view expecting) {
  if (node.kind == EventKind::End) return fail_at_end();
  return fail("invalid type: " + describe(node) + ", expected " + std::string(expecting), node);
}

bool RecordReader::fail_invalid_value(const YamlEvent& node, std::string_view expecting) {
  return fail("invalid value: " + describe(node) + ", expected " + std::string(expecting), node);
}

bool RecordReader::fail_unknown_variant(const YamlEvent& node, std::string_view spelling,
                                        const std::vector<std::string_view>& spellings) {
  const auto backquoted = [](std::string& out, std::string_view text) {
    out += '`';
    out += text;
    out += '`';
  };
  std::string message = "unknown variant ";
  backquoted(message, spelling);
  message += ", expected ";
  if (spellings.size() > 2) message += "one of ";
  for (std::size_t i = 0; i < spellings.size(); ++i) {
    if (i > 0) message += spellings.size() == 2 ? " or " : ", ";
    backquoted(message, spellings[i]);
  }
  return fail(std::move(message), node);
}

bool RecordReader::fail_unplaced(std::string message) {
  error_ = PackReadError{std::move(message), "", 0, 0};
  return false;
}

bool RecordReader::fail_at_end() {
  error_ = doc_.stop_error() ? *doc_.stop_error() : PackReadError{"EOF while parsing a value", "", 0, 0};
  return false;
}

}  // namespace detect::packs
