// The first YAML document of a pack file as one list of libyaml's node events, which the record reader
// walks by index and into which aliases point back. Events are pulled from libyaml only as far as the
// reader needs them, so a read that fails early (a free value nested far past the budget) never makes
// libyaml scan the rest; the alias limit, which depends on the document's whole event count, pulls the
// rest before it refuses an expansion. An alias may replay a node that is still open where it stands.
//
// libyaml only ever sees the text before its cut (text_cut.h), and the events stop at the first flow
// collection nested deeper than kFlowNestingLevels: both keep libyaml's own time linear in the text.
// A failing allocation inside libyaml throws std::bad_alloc, as every other one does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/hash_seeds.h"
#include "detect/packs.h"
#include "packs/text_cut.h"

namespace detect::packs {

// libyaml's scanner spends time on every token in proportion to the flow collections open around it
// ([ and { nested in one another), so reading a text nested n deep costs n squared. Values this deep
// are far past the reading budget of 128 levels and would fail if read, but the value of an undeclared
// key is skipped at any depth; past this bound the text is refused instead, at the collection that
// passes it. A token nested that deep costs libyaml under a microsecond.
inline constexpr std::size_t kFlowNestingLevels = 512;

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
  const char* text_data = nullptr;  // scalar text, owned by the document, never moved
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
  bool closed = false;
};

class DocumentLoader;

class YamlDocument {
 public:
  // Parses lazily: `text` must outlive the document. `anchors_key` seeds the table of anchor names.
  YamlDocument(std::string_view text, HashKey anchors_key);
  ~YamlDocument();
  YamlDocument(const YamlDocument&) = delete;
  YamlDocument& operator=(const YamlDocument&) = delete;

  // The event at `index`; every index past the document's events reads as End. References stay
  // valid while more events are pulled.
  [[nodiscard]] const YamlEvent& event(std::size_t index);
  [[nodiscard]] std::string_view text(const YamlEvent& event) const {
    return std::string_view(event.text_data, event.text_size);
  }
  // The tag as libyaml resolves it ("!decorator", "tag:yaml.org,2002:null"); empty when none.
  [[nodiscard]] std::string_view tag(const YamlEvent& event) const {
    return event.tag == 0 ? std::string_view() : std::string_view(tags_[event.tag - 1]);
  }
  // The node an alias names, with its events all pulled (up to where the document stops).
  [[nodiscard]] AnchoredNode anchored(const YamlEvent& alias);

  // Pulls every event of the document, and the start of what follows it.
  void finish();
  [[nodiscard]] bool finished() const { return loader_ == nullptr; }

  // Known in full once finished: the document's own events (End excluded), the measure of the alias
  // limit, and its size in replay units (events plus scalar and tag bytes).
  [[nodiscard]] std::size_t event_count() const { return events_.size(); }
  [[nodiscard]] std::uint64_t units() const { return events_.size() + text_bytes_ + tag_bytes_; }
  // Once finished: why the events end early (the parser's error, an alias to an unknown anchor, too
  // deep a flow nesting, or the cut's error once libyaml got to the cut), and whether the stream goes
  // on after the first document (another document, or an error there).
  [[nodiscard]] const std::optional<PackReadError>& stop_error() const { return stop_error_; }
  [[nodiscard]] bool has_more_documents() const { return more_documents_; }

  // The error of the text's cut, when it has one: the whole text is not read without it.
  [[nodiscard]] const PackReadError* cut_error() const { return cut_ ? &cut_->error : nullptr; }
  // Whether libyaml's scanner has come to the cut while giving the events pulled so far. Until then
  // the events are those the whole text gives; once it has, a failure met from then on may stem from
  // the end of what libyaml was handed, and the cut's error stands in its place.
  [[nodiscard]] bool reached_cut() const { return reached_cut_; }

 private:
  std::optional<TextCut> cut_;  // before loader_, which reads it
  bool reached_cut_ = false;
  std::deque<YamlEvent> events_;
  YamlEvent end_;
  // Scalar texts, in blocks that never move, so views of them stay valid while events are pulled.
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* block_free_ = nullptr;
  std::size_t block_left_ = 0;
  std::uint64_t text_bytes_ = 0;
  std::deque<std::string> tags_;
  std::uint64_t tag_bytes_ = 0;
  std::vector<AnchoredNode> anchors_;
  std::optional<PackReadError> stop_error_;
  bool more_documents_ = false;
  std::unique_ptr<DocumentLoader> loader_;  // null once the document is finished

  friend class DocumentLoader;
};

}  // namespace detect::packs
