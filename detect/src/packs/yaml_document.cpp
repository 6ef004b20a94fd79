// Loading the first document of a pack file through libyaml's event API: node events with their
// text, plainness, tag and start position; anchors resolved to the node they name (the latest one of
// that name defined before the alias); the parser's own errors rendered in its words and positions.
#include "packs/yaml_document.h"

#include <yaml.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "common/seeded_hash.h"

namespace detect::packs {

namespace {

std::uint32_t saturate(std::size_t value) {
  return static_cast<std::uint32_t>(std::min<std::size_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

bool has_mark(const yaml_mark_t& mark) { return mark.line != 0 || mark.column != 0; }

std::string mark_text(const yaml_mark_t& mark) {
  return "line " + std::to_string(mark.line + 1) + " column " + std::to_string(mark.column + 1);
}

// "{problem} at line {} column {}, {context} at line {} column {}": the position of the problem (or its
// byte offset, for errors of the reader that carry no mark), then the context and its own position
// when that differs.
std::string parser_error_text(const yaml_parser_t& parser) {
  std::string text = parser.problem != nullptr ? parser.problem : "the YAML parser failed without giving a reason";
  if (has_mark(parser.problem_mark)) {
    text += " at " + mark_text(parser.problem_mark);
  } else if (parser.problem_offset != 0) {
    text += " at position " + std::to_string(parser.problem_offset);
  }
  if (parser.context != nullptr) {
    text += ", ";
    text += parser.context;
    const yaml_mark_t& context = parser.context_mark;
    if (has_mark(context) &&
        (context.line != parser.problem_mark.line || context.column != parser.problem_mark.column)) {
      text += " at " + mark_text(context);
    }
  }
  return text;
}

struct EventHandle {
  yaml_event_t event{};
  bool filled = false;
  EventHandle() = default;
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  ~EventHandle() { clear(); }
  void clear() {
    if (filled) yaml_event_delete(&event);
    filled = false;
  }
};

}  // namespace

class DocumentLoader {
 public:
  // libyaml reads only the text before the cut, if there is one.
  DocumentLoader(YamlDocument& document, std::string_view text, HashKey anchors_key)
      : doc_(document), anchors_by_name_(anchors_key) {
    // An allocation that fails is the call's end, never a warning about the pack.
    if (yaml_parser_initialize(&parser_) == 0) throw std::bad_alloc();
    const std::string_view read = doc_.cut_ ? text.substr(0, doc_.cut_->bytes) : text;
    yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(read.data()), read.size());
  }
  ~DocumentLoader() { yaml_parser_delete(&parser_); }
  DocumentLoader(const DocumentLoader&) = delete;
  DocumentLoader& operator=(const DocumentLoader&) = delete;

  // Takes libyaml's events until one more node event is kept; false once the document is done.
  bool pull() {
    const std::size_t before = doc_.events_.size();
    EventHandle current;
    // Each pass takes one event from libyaml, which always moves on or fails, so the loop ends.
    while (doc_.events_.size() == before) {
      if (!parse(current)) {
        stop(PackReadError{parser_error_text(parser_), "", 0, 0});
        return done();
      }
      const yaml_event_t& event = current.event;
      if (event.type == YAML_STREAM_END_EVENT) {
        // No document at all: its root is an empty value where the stream ends.
        push(EventKind::Void, event.start_mark);
        return done();
      }
      if (event.type == YAML_DOCUMENT_END_EVENT) {
        doc_.more_documents_ = !parse(current) || current.event.type != YAML_STREAM_END_EVENT;
        return done();
      }
      if (!take(event)) return done();
    }
    return true;
  }

 private:
  struct OpenCollection {
    std::size_t first;
    std::size_t anchor;  // kNoAnchor when the collection has none
    std::uint64_t bytes_at_start;
    bool flow;
  };
  static constexpr std::size_t kNoAnchor = std::numeric_limits<std::size_t>::max();

  // One event from libyaml into `current`; false when libyaml fails. Notes whether libyaml's scanner
  // has come to the cut: from then on what it gives may rest on the end of the text it was handed,
  // which the whole text does not have there.
  bool parse(EventHandle& current) {
    current.clear();
    const bool parsed = yaml_parser_parse(&parser_, &current.event) != 0;
    if (doc_.cut_ && parser_.mark.index >= doc_.cut_->characters) doc_.reached_cut_ = true;
    if (!parsed && parser_.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
    current.filled = parsed;
    return parsed;
  }

  // The events end here with `error`, or with the cut's own once libyaml has come to the cut.
  void stop(PackReadError error) {
    doc_.stop_error_ = doc_.reached_cut_ ? doc_.cut_->error : std::move(error);
  }

  // False when the document stops at this event (an alias to an unknown anchor).
  bool take(const yaml_event_t& event) {
    switch (event.type) {
      case YAML_SCALAR_EVENT: {
        const auto& scalar = event.data.scalar;
        const std::size_t index = doc_.events_.size();
        YamlEvent& pushed = push(EventKind::Scalar, event.start_mark);
        pushed.plain = scalar.style == YAML_PLAIN_SCALAR_STYLE;
        pushed.tag = add_tag(scalar.tag);
        pushed.text_data = store(reinterpret_cast<const char*>(scalar.value), scalar.length);
        pushed.text_size = scalar.length;
        if (scalar.anchor != nullptr) {
          const std::size_t anchor = define(scalar.anchor, index);
          AnchoredNode& node = doc_.anchors_[anchor];
          node.end = index + 1;
          node.units = 1 + scalar.length + tag_size(pushed);
          node.closed = true;
        }
        return true;
      }
      case YAML_SEQUENCE_START_EVENT:
        return open(EventKind::SequenceStart, event.start_mark, event.data.sequence_start.anchor,
                    event.data.sequence_start.tag, event.data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE);
      case YAML_MAPPING_START_EVENT:
        return open(EventKind::MappingStart, event.start_mark, event.data.mapping_start.anchor,
                    event.data.mapping_start.tag, event.data.mapping_start.style == YAML_FLOW_MAPPING_STYLE);
      case YAML_SEQUENCE_END_EVENT:
        close(EventKind::SequenceEnd, event.start_mark);
        return true;
      case YAML_MAPPING_END_EVENT:
        close(EventKind::MappingEnd, event.start_mark);
        return true;
      case YAML_ALIAS_EVENT: {
        const std::size_t* found = anchors_by_name_.find(reinterpret_cast<const char*>(event.data.alias.anchor));
        if (found == nullptr) {
          stop(PackReadError{"unknown anchor", "", saturate(event.start_mark.line + 1),
                             saturate(event.start_mark.column + 1)});
          return false;
        }
        push(EventKind::Alias, event.start_mark).anchor = static_cast<std::uint32_t>(*found);
        return true;
      }
      default:  // stream and document starts carry nothing the records need
        return true;
    }
  }

  YamlEvent& push(EventKind kind, const yaml_mark_t& mark) {
    YamlEvent& event = doc_.events_.emplace_back();
    event.kind = kind;
    event.line = saturate(mark.line + 1);
    event.column = saturate(mark.column + 1);
    return event;
  }

  std::uint32_t add_tag(const yaml_char_t* tag) {
    if (tag == nullptr) return 0;
    doc_.tags_.emplace_back(reinterpret_cast<const char*>(tag));
    doc_.tag_bytes_ += doc_.tags_.back().size();
    return static_cast<std::uint32_t>(doc_.tags_.size());
  }

  std::uint64_t tag_size(const YamlEvent& event) const { return doc_.tag(event).size(); }

  std::uint64_t bytes() const { return doc_.text_bytes_ + doc_.tag_bytes_; }

  const char* store(const char* data, std::size_t size) {
    // Blocks start small (most packs are small) and double up to a bound; a text longer than a
    // quarter of the bound gets a block of its own.
    constexpr std::size_t kFirstBlock = 1024;
    constexpr std::size_t kLargestBlock = 64 * 1024;
    doc_.text_bytes_ += size;
    if (size == 0) return "";
    if (size > kLargestBlock / 4) {
      char* stored = keep_block(size);
      std::memcpy(stored, data, size);
      return stored;
    }
    if (size > doc_.block_left_) {
      const std::size_t growing = std::min(kLargestBlock, kFirstBlock << std::min<std::size_t>(doc_.blocks_.size(), 6));
      const std::size_t block = std::max(size, growing);
      doc_.block_free_ = keep_block(block);
      doc_.block_left_ = block;
    }
    char* stored = doc_.block_free_;
    std::memcpy(stored, data, size);
    doc_.block_free_ += size;
    doc_.block_left_ -= size;
    return stored;
  }

  // A new block of `size` bytes held by the document. The block is owned before the list grows,
  // so a list that cannot grow does not lose it.
  char* keep_block(std::size_t size) {
    std::unique_ptr<char[]> block(new char[size]);
    doc_.blocks_.push_back(std::move(block));
    return doc_.blocks_.back().get();
  }

  std::size_t define(const yaml_char_t* name, std::size_t first) {
    const std::size_t anchor = doc_.anchors_.size();
    doc_.anchors_.push_back(AnchoredNode{first, first, 0});
    anchors_by_name_.insert_or_assign(reinterpret_cast<const char*>(name), anchor);
    return anchor;
  }

  // False when the document stops at this collection: one flow collection too deep.
  bool open(EventKind kind, const yaml_mark_t& mark, const yaml_char_t* anchor, const yaml_char_t* tag, bool flow) {
    if (flow && open_flow_ == kFlowNestingLevels) {
      stop(PackReadError{"flow collections nested deeper than " + std::to_string(kFlowNestingLevels) + " levels", "",
                         saturate(mark.line + 1), saturate(mark.column + 1)});
      return false;
    }
    const std::size_t index = doc_.events_.size();
    const std::uint64_t bytes_before = bytes();
    push(kind, mark).tag = add_tag(tag);
    const std::size_t defined = anchor == nullptr ? kNoAnchor : define(anchor, index);
    open_.push_back(OpenCollection{index, defined, bytes_before, flow});
    if (flow) ++open_flow_;
    return true;
  }

  void close(EventKind kind, const yaml_mark_t& mark) {
    push(kind, mark);
    if (open_.empty()) return;  // libyaml balances its events; kept safe regardless
    finish(open_.back());
    if (open_.back().flow) --open_flow_;
    open_.pop_back();
  }

  void finish(const OpenCollection& collection) {
    if (collection.anchor == kNoAnchor) return;
    AnchoredNode& node = doc_.anchors_[collection.anchor];
    node.end = doc_.events_.size();
    node.units = (node.end - node.first) + (bytes() - collection.bytes_at_start);
    node.closed = true;
  }

  // Nodes still open where the parser stopped replay up to that point.
  bool done() {
    for (const OpenCollection& collection : open_) finish(collection);
    open_.clear();
    return false;
  }

  YamlDocument& doc_;
  yaml_parser_t parser_{};
  // Anchor names come from the pack: seeded, so that crafted names cannot all collide.
  TextMap<std::size_t> anchors_by_name_;
  std::vector<OpenCollection> open_;
  std::size_t open_flow_ = 0;  // flow collections among `open_`
};

YamlDocument::YamlDocument(std::string_view text, HashKey anchors_key)
    : cut_(find_text_cut(text)), loader_(std::make_unique<DocumentLoader>(*this, text, anchors_key)) {}

YamlDocument::~YamlDocument() = default;

const YamlEvent& YamlDocument::event(std::size_t index) {
  while (index >= events_.size() && loader_ != nullptr) {
    if (!loader_->pull()) loader_.reset();
  }
  return index < events_.size() ? events_[index] : end_;
}

AnchoredNode YamlDocument::anchored(const YamlEvent& alias) {
  // Only an alias inside its own anchored node meets the node still open.
  while (!anchors_[alias.anchor].closed && loader_ != nullptr) {
    if (!loader_->pull()) loader_.reset();
  }
  return anchors_[alias.anchor];
}

void YamlDocument::finish() {
  while (loader_ != nullptr) {
    if (!loader_->pull()) loader_.reset();
  }
}

}  // namespace detect::packs
