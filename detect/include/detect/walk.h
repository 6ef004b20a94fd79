// The project walk: every Python source file under a folder, read and parsed, in the order the
// file system lists entries. A file that cannot be read or parsed spoils only itself (a
// `WalkError`); a folder that cannot be listed ends the whole walk with an error value.
//
//   struct Analyse : detect::FileSink {
//     void on_file(detect::ParsedFile&& file) override {
//       builder.add_file(file.path, file.statements, file.source_text().size());
//     }
//     void on_error(detect::WalkError&& error) override { warn(detect::display_walk_error(error)); }
//   };
//   detect::Status status = detect::walk_project(root, analyse);
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "detect/error.h"
#include "detect/hash_seeds.h"
#include "pysyntax/arena.h"
#include "pysyntax/ast.h"

namespace detect {

// One source file that was read and parsed. It owns its path, its text and the arena of its
// tree, and may be moved freely (the text sits behind a pointer, so a move never relocates the
// bytes that the tree's names and strings point into). Nothing changes a record once it is made.
struct ParsedFile {
  ParsedFile(std::string path, std::unique_ptr<std::string> text, pysyntax::Arena arena,
             const pysyntax::Module& module)
      : path(std::move(path)),
        statements(module.body),
        module_range(module.range),
        text_(std::move(text)),
        arena_(std::move(arena)) {}

  std::string path;                            // as walked: raw bytes, not normalised
  pysyntax::Span<pysyntax::Stmt*> statements;  // the module's top-level statements in source order
  pysyntax::Range module_range;                // the module's range in the text

  // The whole content as read, a leading U+FEFF included; offsets in the tree count from here.
  std::string_view source_text() const { return *text_; }

  // Hands the text's buffer and the arena over for the next file, when the record still has them
  // (a sink that kept the record moved them away); the tree is gone afterwards.
  void recycle(std::unique_ptr<std::string>& text, pysyntax::Arena& arena) && {
    if (text_ == nullptr) return;
    text = std::move(text_);
    arena = std::move(arena_);
    statements = {};
  }

 private:
  std::unique_ptr<std::string> text_;
  pysyntax::Arena arena_;
};

// One source file that cannot be used.
struct WalkError {
  enum class Kind : std::uint8_t {
    ReadFailed,   // could not be opened or read, or is not UTF-8; `detail` is the I/O error text
    ParseFailed,  // the parser rejected it; `detail` is the parse message of its first error
  };
  Kind kind;
  std::string path;    // as walked
  std::string detail;  // the I/O error text or the parse message, by kind
};

// Receives the walk's results one by one, in walk order (depth first, pre-order, listing order),
// so that each file can be analysed and released before the next is read. A sink that lets the
// record go must keep no view into its text or tree: the next file reuses that memory (and the
// sanitizer build frees it, so that such a view is caught as a use after free).
class FileSink {
 public:
  virtual ~FileSink() = default;
  virtual void on_file(ParsedFile&& file) = 0;
  virtual void on_error(WalkError&& error) = 0;
  // False once the sink wants nothing more: the walk then stops at once, as if it were done.
  [[nodiscard]] virtual bool wants_more() const { return true; }
};

// Walks the tree under `root` (used exactly as given; the root itself is not name-tested).
// Passes over names beginning with "." and the names "__pycache__" and "node_modules", follows
// symbolic links, walks folders and reads non-folders whose extension is exactly "py". A folder
// whose device and inode are already on the current walk path (a link back to an ancestor) is
// passed over silently, and so is a folder or file met again after three visits under other
// paths (links and hard links can reach one along exponentially many). Only one folder is open
// at a time. Returns an error holding the I/O error text of the first listing that failed; what
// was handed to the sink before stays handed.
[[nodiscard]] Status walk_project(const std::string& root, FileSink& sink);
// The same with the call's hash seeds for the walk's tables (the form above draws its own).
[[nodiscard]] Status walk_project(const std::string& root, FileSink& sink, HashSeeds& seeds);

// The same, appending to two lists (never cleared; after a failure they hold what came before).
[[nodiscard]] Status walk_project(const std::string& root, std::vector<ParsedFile>& files,
                                  std::vector<WalkError>& errors);

// Parses `text` (UTF-8, taken over) as one module. On success the record holds copies of the
// path and the text itself; otherwise a `ParseFailed` error with the message
// "ParseError { error: {kind}, location: {start}..{end} }" of the first error, its offsets
// counted from the start of the text (a BOM's three bytes included), and the text is released.
[[nodiscard]] std::variant<ParsedFile, WalkError> parse_file(std::string_view path, std::string text);

// "io error reading {path}: {io error}" or "ruff parse error in {path}: {parse message}", the
// path shown as text.
[[nodiscard]] std::string display_walk_error(const WalkError& error);

}  // namespace detect
