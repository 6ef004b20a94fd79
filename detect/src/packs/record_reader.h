// The typed reader of pack records. A record is declared once, as a table of fields (YAML key, member,
// required or not) in a RecordSchema specialisation, and an enumeration as its spellings in an
// EnumSchema; the value rule of each field follows from the member's type:
//
//   std::string                 text                 std::optional<T>   absent on empty / null forms
//   float                       32-bit float         std::vector<T>     list
//   std::uint32_t               unsigned integer     std::map<std::string, V>  map with text keys
//   bool                        boolean              FreeValue          any node (only checked)
//   an EnumSchema enumeration   spelling or !tag     a RecordSchema record     mapping or empty value
//
// The reader walks a loaded YamlDocument by event index. Every read takes the node at `pos` (an alias
// reads its anchored node in its place) and moves `pos` past it, or fails: the first failure ends the
// read and is kept in error(). Recursion is bounded by the nesting budget, which every mapping and
// sequence read takes one level of; values of undeclared keys are skipped by counting events.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/seeded_hash.h"
#include "detect/packs.h"
#include "packs/yaml_document.h"

namespace detect::packs {

template <typename Record, typename Member>
struct Field {
  std::string_view key;
  Member Record::*member;
  bool required;
};

template <typename Record, typename Member>
constexpr Field<Record, Member> required(std::string_view key, Member Record::*member) {
  return {key, member, true};
}
// Absent, the member keeps the value the record is constructed with.
template <typename Record, typename Member>
constexpr Field<Record, Member> defaulted(std::string_view key, Member Record::*member) {
  return {key, member, false};
}

template <typename Enum>
struct Spelling {
  std::string_view text;
  Enum value;
};

// Specialised per record: `expecting` ("struct X") and the `fields` tuple in declaration order.
template <typename T>
struct RecordSchema;
// Specialised per enumeration: `spellings`, an array of Spelling in declaration order.
template <typename T>
struct EnumSchema;

template <typename T>
concept SchemaRecord = requires {
  RecordSchema<T>::expecting;
  RecordSchema<T>::fields;
};
template <typename T>
concept SchemaEnum = std::is_enum_v<T> && requires { EnumSchema<T>::spellings; };

// Nesting budget of one document, the root record counting as the first level.
inline constexpr std::uint32_t kNestingLevels = 128;
// Aliases may be expanded at most this many times per event of the document.
inline constexpr std::uint64_t kExpansionsPerEvent = 100;
// Replayed material (events plus scalar and tag bytes) may not exceed the document's own size or this
// floor, whichever is larger: the expansion count alone lets a few aliases of a large anchored node
// copy it without end, in time and memory.
inline constexpr std::uint64_t kReplayFloorUnits = std::uint64_t{1} << 20;

class RecordReader {
 public:
  // `seeds` key the tables of free keys; they are borrowed for the reader's lifetime.
  RecordReader(YamlDocument& document, HashSeeds& seeds);

  [[nodiscard]] const PackReadError& error() const { return error_; }

  [[nodiscard]] bool read(std::size_t& pos, std::string& out);
  [[nodiscard]] bool read(std::size_t& pos, float& out);
  [[nodiscard]] bool read(std::size_t& pos, std::uint32_t& out);
  [[nodiscard]] bool read(std::size_t& pos, bool& out);
  [[nodiscard]] bool read(std::size_t& pos, FreeValue& out);
  template <typename T>
  [[nodiscard]] bool read(std::size_t& pos, std::optional<T>& out);
  template <typename T>
  [[nodiscard]] bool read(std::size_t& pos, std::vector<T>& out);
  template <typename V>
  [[nodiscard]] bool read(std::size_t& pos, std::map<std::string, V>& out);
  template <SchemaEnum E>
  [[nodiscard]] bool read(std::size_t& pos, E& out);
  template <SchemaRecord R>
  [[nodiscard]] bool read(std::size_t& pos, R& out);

 private:
  // One nesting level, held while a mapping or sequence is read.
  class Level {
   public:
    Level(RecordReader& reader, const YamlEvent& node) : reader_(reader), entered_(reader.enter_level(node)) {}
    ~Level() {
      if (entered_) ++reader_.levels_left_;
    }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
    explicit operator bool() const { return entered_; }

   private:
    RecordReader& reader_;
    bool entered_;
  };

  // One step of the path of the node being read, held while it is read.
  struct PathStep {
    std::string_view key;
    std::size_t index = 0;
    bool is_index = false;
  };
  class PathScope {
   public:
    PathScope(RecordReader& reader, std::string_view key) : reader_(reader) {
      reader_.path_.push_back(PathStep{key, 0, false});
    }
    PathScope(RecordReader& reader, std::size_t index) : reader_(reader) {
      reader_.path_.push_back(PathStep{{}, index, true});
    }
    ~PathScope() { reader_.path_.pop_back(); }
    PathScope(const PathScope&) = delete;
    PathScope& operator=(const PathScope&) = delete;

   private:
    RecordReader& reader_;
  };

  // Reads the node at `pos` with `read_node(at)`, which gets the node's own index: for an alias, the
  // anchored node's first event, replayed after the expansion has been counted.
  template <typename ReadNode>
  bool at_node(std::size_t& pos, ReadNode&& read_node) {
    const YamlEvent& event = doc_.event(pos);
    if (event.kind != EventKind::Alias) return read_node(pos);
    std::size_t replay = 0;
    if (!expand(event, replay)) return false;
    ++pos;
    return read_node(replay);
  }

  template <SchemaRecord R>
  bool read_record(std::size_t& at, R& out);

  bool expand(const YamlEvent& alias, std::size_t& first);
  [[nodiscard]] bool within_expansion_limits() const;
  bool enter_level(const YamlEvent& node);
  bool skip(std::size_t& pos);
  bool read_key(std::size_t& pos, std::string_view& key, std::string_view expecting);
  bool is_absent(const YamlEvent& node, bool& absent);
  // Free values. A node inside a mapping's key is also reduced to an identity text that equal nodes
  // share: a scalar's value as its tag resolves it; a collection's signature (its local tag and its
  // items' or its entries' identities, entries in sorted order) when that is short, and otherwise its
  // number among the distinct long signatures met. A collection's identity is thus short whatever it
  // holds, and comparing keys costs time linear in them at any depth.
  bool read_free(std::size_t& pos, std::string* identity);
  bool read_free_sequence(std::size_t& at, std::string* identity);
  bool read_free_mapping(std::size_t& at, std::string* identity);
  void append_collection_identity(const std::string& signature, std::string& identity);
  bool check_core_tag(const YamlEvent& node);
  void append_scalar_identity(const YamlEvent& node, std::string& identity) const;
  void append_local_tag(const YamlEvent& node, std::string& identity) const;

  [[nodiscard]] std::string_view text(const YamlEvent& node) const { return doc_.text(node); }
  [[nodiscard]] bool is_empty_value(const YamlEvent& node) const;
  [[nodiscard]] bool is_unit(const YamlEvent& node) const;
  [[nodiscard]] std::optional<std::string_view> local_tag_name(const YamlEvent& node) const;
  [[nodiscard]] std::string describe(const YamlEvent& node) const;
  [[nodiscard]] std::string path_text() const;

  bool fail(std::string message, const YamlEvent& node);
  bool fail_invalid_type(const YamlEvent& node, std::string_view expecting);
  bool fail_invalid_value(const YamlEvent& node, std::string_view expecting);
  bool fail_unknown_variant(const YamlEvent& node, std::string_view spelling,
                            const std::vector<std::string_view>& spellings);
  bool fail_unplaced(std::string message);
  bool fail_at_end();

  YamlDocument& doc_;
  std::uint32_t levels_left_ = kNestingLevels;
  std::uint64_t expansions_ = 0;
  std::uint64_t replayed_ = 0;
  std::vector<PathStep> path_;
  PackReadError error_;
  // Free keys come from the pack: tables of them are seeded against crafted collisions.
  HashSeeds& seeds_;
  std::unordered_map<std::string, std::uint64_t, SeededTextHash, TextEqual> collections_;  // by signature
};

namespace schema_detail {

template <typename Tuple, typename F, std::size_t... I>
void for_each_field(const Tuple& fields, F&& visit, std::index_sequence<I...>) {
  (visit(std::get<I>(fields), I), ...);
}
template <typename Tuple, typename F>
void for_each_field(const Tuple& fields, F&& visit) {
  for_each_field(fields, visit, std::make_index_sequence<std::tuple_size_v<Tuple>>{});
}

}  // namespace schema_detail

template <typename T>
bool RecordReader::read(std::size_t& pos, std::optional<T>& out) {
  return at_node(pos, [&](std::size_t& at) {
    bool absent = false;
    if (!is_absent(doc_.event(at), absent)) return false;
    if (absent) {
      ++at;
      out.reset();
      return true;
    }
    T value{};
    if (!read(at, value)) return false;
    out = std::move(value);
    return true;
  });
}

template <typename T>
bool RecordReader::read(std::size_t& pos, std::vector<T>& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind == EventKind::SequenceStart) {
      const Level level(*this, node);
      if (!level) return false;
      ++at;
      for (std::size_t index = 0; doc_.event(at).kind != EventKind::SequenceEnd; ++index) {
        const PathScope scope(*this, index);
        T item{};
        if (!read(at, item)) return false;
        out.push_back(std::move(item));
      }
      ++at;
      return true;
    }
    if (is_empty_value(node)) {
      ++at;
      return true;
    }
    return fail_invalid_type(node, "a sequence");
  });
}

template <typename V>
bool RecordReader::read(std::size_t& pos, std::map<std::string, V>& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    if (node.kind == EventKind::MappingStart) {
      const Level level(*this, node);
      if (!level) return false;
      ++at;
      while (doc_.event(at).kind != EventKind::MappingEnd) {
        std::string_view key;
        if (!read_key(at, key, "a string")) return false;
        const PathScope scope(*this, key);
        V value{};
        if (!read(at, value)) return false;
        out.insert_or_assign(std::string(key), std::move(value));  // a later key replaces
      }
      ++at;
      return true;
    }
    if (is_empty_value(node)) {
      ++at;
      return true;
    }
    return fail_invalid_type(node, "a map");
  });
}

template <SchemaEnum E>
bool RecordReader::read(std::size_t& pos, E& out) {
  return at_node(pos, [&](std::size_t& at) {
    const YamlEvent& node = doc_.event(at);
    const std::optional<std::string_view> tagged = local_tag_name(node);
    if (!tagged && node.kind != EventKind::Scalar) return fail_invalid_type(node, "a YAML tag starting with '!'");
    const std::string_view spelling = tagged ? *tagged : text(node);
    std::vector<std::string_view> spellings;
    bool found = false;
    for (const auto& candidate : EnumSchema<E>::spellings) {
      spellings.push_back(candidate.text);
      if (!found && candidate.text == spelling) {
        out = candidate.value;
        found = true;
      }
    }
    if (!found) return fail_unknown_variant(node, spelling, spellings);
    // The tag form names the value; the node under the tag must hold nothing.
    if (tagged && !is_unit(node)) return fail_invalid_value(node, "null");
    ++at;
    return true;
  });
}

template <SchemaRecord R>
bool RecordReader::read(std::size_t& pos, R& out) {
  return at_node(pos, [&](std::size_t& at) { return read_record(at, out); });
}

template <SchemaRecord R>
bool RecordReader::read_record(std::size_t& at, R& out) {
  using Schema = RecordSchema<R>;
  constexpr std::size_t kFieldCount = std::tuple_size_v<std::remove_cv_t<decltype(Schema::fields)>>;
  const YamlEvent& node = doc_.event(at);
  std::array<bool, kFieldCount> seen{};
  if (node.kind == EventKind::MappingStart) {
    const Level level(*this, node);
    if (!level) return false;
    ++at;
    while (doc_.event(at).kind != EventKind::MappingEnd) {
      std::string_view key;
      if (!read_key(at, key, "field identifier")) return false;
      std::size_t index = kFieldCount;
      schema_detail::for_each_field(Schema::fields, [&](const auto& field, std::size_t i) {
        if (index == kFieldCount && field.key == key) index = i;
      });
      if (index == kFieldCount) {  // undeclared: skipped whatever it holds
        if (!skip(at)) return false;
        continue;
      }
      if (seen[index]) return fail("duplicate field `" + std::string(key) + "`", node);
      seen[index] = true;
      const PathScope scope(*this, key);
      bool ok = true;
      schema_detail::for_each_field(Schema::fields, [&](const auto& field, std::size_t i) {
        if (i == index) ok = read(at, out.*field.member);
      });
      if (!ok) return false;
    }
    ++at;
  } else if (is_empty_value(node)) {
    ++at;
  } else {
    return fail_invalid_type(node, Schema::expecting);
  }
  std::string_view missing;
  schema_detail::for_each_field(Schema::fields, [&](const auto& field, std::size_t i) {
    if (missing.empty() && field.required && !seen[i]) missing = field.key;
  });
  if (!missing.empty()) return fail("missing field `" + std::string(missing) + "`", node);
  return true;
}

// Reads one pack document into the record R: the first failure, a parser error after the record, or a
// further document fails the read, and nothing of the record is kept then. A failure met before
// libyaml came to the text's cut is reported as such; any later one gives way to the cut's error.
template <SchemaRecord R>
PackRead<R> read_pack_document(std::string_view text, HashSeeds& seeds) {
  YamlDocument document(text, seeds.next());
  RecordReader reader(document, seeds);
  R record{};
  std::size_t pos = 0;
  if (!reader.read(pos, record)) {
    return {std::nullopt, document.reached_cut() ? *document.cut_error() : reader.error()};
  }
  document.finish();
  if (document.stop_error()) return {std::nullopt, *document.stop_error()};
  // The record is whole, but the text goes on to where it cannot be read.
  if (document.cut_error() != nullptr) return {std::nullopt, *document.cut_error()};
  if (document.has_more_documents()) {
    return {std::nullopt,
            PackReadError{"deserializing from YAML containing more than one document is not supported", "", 0, 0}};
  }
  return {std::move(record), std::nullopt};
}

}  // namespace detect::packs
