// The first YAML document of a pack file as one flat list of libyaml's node events, which the record
// reader walks by index and into which aliases point back. Loading the whole document first gives the
// reader the document's event count (the alias limit depends on it) and lets an alias replay a node that
// is still open where the alias stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/packs.h"

namespace detect::packs {

enum class EventKind : std::uint8_t {
  Scalar,
  SequenceStart,
  SequenceEnd,
  MappingStart,
  MappingEnd,
  Alias,
  // The root of a stream that holds no document at all: read as an empty value.
  Void,
  // After the last event: where the document ends, or where the parser stopped.
  End,
};

struct YamlEvent {
  std::size_t text_begin = 0;  // scalar text, in the document's arena
  std::size_t text_size = 0;
  std::uint32_t line = 0;  // where the node begins, counted from 1 (in characters)
  std::uint32_t column = 0;
  std::uint32_t tag = 0;     // 0: no tag; otherwise 1 + index into the document's tags
  std::uint32_t anchor = 0;  // Alias: index of the anchored node in the document's anchors
  EventKind kind = EventKind::End;
  bool plain = false;  // scalar written without quotes and not as a block scalar
};

// The events that one expansion of an alias replays: [first, end), and their cost in replay units
// (one per event plus one per byte of scalar text and tag).
struct AnchoredNode {
  std::size_t first = 0;
  std::size_t end = 0;
  std::uint64_t units = 0;
};

class YamlDocument {
 public:
  [[nodiscard]] static YamlDocument load(std::string_view text);

  // The event at `index`; every index past the document's events reads as End.
  [[nodiscard]] const YamlEvent& event(std::size_t index) const {
    return index < events_.size() ? events_[index] : end_;
  }
  [[nodiscard]] std::string_view text(const YamlEvent& event) const {
    return std::string_view(arena_).substr(event.text_begin, event.text_size);
  }
  // The tag as libyaml resolves it ("!decorator", "tag:yaml.org,2002:null"); empty when none.
  [[nodiscard]] std::string_view tag(const YamlEvent& event) const {
    return event.tag == 0 ? std::string_view() : std::string_view(tags_[event.tag - 1]);
  }
  [[nodiscard]] const AnchoredNode& anchored(const YamlEvent& alias) const { return anchors_[alias.anchor]; }

  // The document's own events (End excluded): the measure of the alias limit.
  [[nodiscard]] std::size_t event_count() const { return events_.size(); }
  // The document's size in replay units: its events and its scalar and tag bytes.
  [[nodiscard]] std::uint64_t units() const { return events_.size() + arena_.size() + tag_bytes_; }
  // Why the events end early: the parser's error or an alias to an unknown anchor.
  [[nodiscard]] const std::optional<PackReadError>& stop_error() const { return stop_error_; }
  // True when the stream goes on after the first document (another document, or an error there).
  [[nodiscard]] bool has_more_documents() const { return more_documents_; }

 private:
  std::vector<YamlEvent> events_;
  YamlEvent end_;
  std::string arena_;
  std::vector<std::string> tags_;
  std::uint64_t tag_bytes_ = 0;
  std::vector<AnchoredNode> anchors_;
  std::optional<PackReadError> stop_error_;
  bool more_documents_ = false;

  friend class DocumentLoader;
};

}  // namespace detect::packs
