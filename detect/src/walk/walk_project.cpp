// The walk over a project tree: depth first, pre-order, in the order each listing returns its
// entries (never sorted). The folders on the current path are kept as an explicit stack of open
// listings rather than as native recursion, so no tree is deep enough to exhaust the stack; in
// practice the depth ends where a path reaches PATH_MAX (the entry's status then cannot be had
// and it is passed over) or where the descriptors run out (a listing failure, which ends the walk
// with its I/O error).
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <utility>

#include "detect/io.h"
#include "detect/path.h"
#include "detect/walk.h"
#include "walk/limits.h"
#include "walk/parse_text.h"

namespace detect {
namespace {

// Hidden names and the two bulky tool folders; tested on the name alone, before any status call,
// so nothing at all is asked of such an entry.
bool passed_over_by_name(std::string_view name) {
  return name.front() == '.' || name == "__pycache__" || name == "node_modules";
}

// One folder on the current walk path: its listing, its path and its identity. Move-only; the
// listing is closed when the folder is done or the walk ends.
class OpenFolder {
 public:
  OpenFolder(DIR* listing, std::string path, dev_t device, ino_t inode)
      : listing_(listing), path_(std::move(path)), device_(device), inode_(inode) {}
  OpenFolder(OpenFolder&& other) noexcept
      : listing_(std::exchange(other.listing_, nullptr)),
        path_(std::move(other.path_)),
        device_(other.device_),
        inode_(other.inode_) {}
  OpenFolder& operator=(OpenFolder&&) = delete;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder() {
    if (listing_ != nullptr) ::closedir(listing_);
  }

  DIR* listing() const { return listing_; }
  const std::string& path() const { return path_; }
  bool is(const struct stat& status) const { return device_ == status.st_dev && inode_ == status.st_ino; }

 private:
  DIR* listing_;
  std::string path_;
  dev_t device_;
  ino_t inode_;
};

// Opens the listing of `path`; `known` is the folder's status when the caller already has it.
Result<OpenFolder> open_folder(std::string path, const struct stat* known) {
  if (path.find('\0') != std::string::npos) return Error(kNulInPathText);
  DIR* listing = ::opendir(path.c_str());
  if (listing == nullptr) return Error(io_error_text(errno));
  struct stat status {};
  if (known == nullptr) {
    // Only the root arrives without a status; without one its identity stays zero, which merely
    // lets a link back to the root be walked once more before that copy is caught.
    if (::fstat(::dirfd(listing), &status) == 0) known = &status;
  }
  return OpenFolder(listing, std::move(path), known ? known->st_dev : 0, known ? known->st_ino : 0);
}

// A link back to a folder on the current path would repeat the walk under ever longer paths
// (and two such links make it exponential), so such a folder is passed over.
bool on_current_path(const std::vector<OpenFolder>& folders, const struct stat& status) {
  for (const OpenFolder& folder : folders) {
    if (folder.is(status)) return true;
  }
  return false;
}

// The text buffer and arena that go from file to file: a sink that analyses each file and lets
// it go leaves them in the record, and the next file reuses their memory, which is already
// touched, instead of taking (and first touching) fresh memory for every file.
struct Buffers {
  std::unique_ptr<std::string> text;  // made when first needed, and again after a sink kept one
  pysyntax::Arena arena;
};

void read_and_parse(std::string path, Buffers& buffers, FileSink& sink) {
  if (buffers.text == nullptr) buffers.text = std::make_unique<std::string>();
  const Status read = read_utf8_file_into(path, kMaxSourceBytes, kSourceTooLargeText, *buffers.text);
  if (!read.ok()) {
    sink.on_error(WalkError{WalkError::Kind::ReadFailed, std::move(path), read.error().message()});
    return;
  }
  std::variant<ParsedFile, WalkError> parsed = parse_text(path, buffers.text, buffers.arena);
  if (auto* file = std::get_if<ParsedFile>(&parsed)) {
    sink.on_file(std::move(*file));
    std::move(*file).recycle(buffers.text, buffers.arena);
  } else {
    sink.on_error(std::get<WalkError>(std::move(parsed)));
  }
}

class ListSink final : public FileSink {
 public:
  ListSink(std::vector<ParsedFile>& files, std::vector<WalkError>& errors) : files_(files), errors_(errors) {}
  void on_file(ParsedFile&& file) override { files_.push_back(std::move(file)); }
  void on_error(WalkError&& error) override { errors_.push_back(std::move(error)); }

 private:
  std::vector<ParsedFile>& files_;
  std::vector<WalkError>& errors_;
};

}  // namespace

Status walk_project(const std::string& root, FileSink& sink) {
  Buffers buffers;
  std::vector<OpenFolder> folders;
  Result<OpenFolder> root_folder = open_folder(root, nullptr);
  if (!root_folder.ok()) return std::move(root_folder).error();
  folders.push_back(std::move(root_folder).value());

  // Each turn either consumes one entry of the innermost listing or closes it.
  while (!folders.empty()) {
    errno = 0;
    const dirent* entry = ::readdir(folders.back().listing());
    if (entry == nullptr) {
      if (errno != 0) return Error(io_error_text(errno));
      folders.pop_back();
      continue;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || passed_over_by_name(name)) continue;

    std::string path = join_path(folders.back().path(), name);
    struct stat status {};
    // A status that cannot be had (dangling link, link loop, no search permission, a path past
    // PATH_MAX) makes the entry a non-folder, without a word.
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      if (on_current_path(folders, status)) continue;
      Result<OpenFolder> folder = open_folder(std::move(path), &status);
      if (!folder.ok()) return std::move(folder).error();
      folders.push_back(std::move(folder).value());
      continue;
    }
    if (!has_extension(name, "py")) continue;
    read_and_parse(std::move(path), buffers, sink);
  }
  return ok_status();
}

Status walk_project(const std::string& root, std::vector<ParsedFile>& files, std::vector<WalkError>& errors) {
  ListSink sink(files, errors);
  return walk_project(root, sink);
}

}  // namespace detect
