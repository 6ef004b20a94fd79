// The walk over a project tree: depth first, pre-order, in the order each listing returns its
// entries (never sorted). The folders on the current path are an explicit stack rather than
// native recursion, so no tree is deep enough to exhaust the stack, and each folder's listing is
// read whole when the folder is entered, so only the innermost folder is open: the depth ends
// only where a path reaches PATH_MAX (the entry's status then cannot be had and it is passed
// over). Each folder and file is visited under at most kMaxVisitsPerIdentity of the paths that
// reach it, so the work stays proportional to the tree however its links multiply the paths.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "common/file_descriptor.h"
#include "common/file_identity.h"
#include "common/open_file.h"
#include "detect/io.h"
#include "detect/path.h"
#include "detect/walk.h"
#include "pysyntax/invariant.h"
#include "walk/folder_listing.h"
#include "walk/limits.h"
#include "walk/parse_text.h"

namespace detect {
namespace {

// Hidden names and the two bulky tool folders; tested on the name alone, before any status call,
// so nothing at all is asked of such an entry.
bool passed_over_by_name(std::string_view name) {
  return name.front() == '.' || name == "__pycache__" || name == "node_modules";
}

bool kept_by_name(std::string_view name) { return !passed_over_by_name(name); }

// The text buffer and arena that go from file to file: a sink that analyses each file and lets
// it go leaves them in the record, and the next file reuses their memory, which is already
// touched, instead of taking (and first touching) fresh memory for every file.
struct Buffers {
  std::unique_ptr<std::string> text;  // made when first needed, and again after a sink kept one
  pysyntax::Arena arena;
};

// One folder on the current walk path.
struct Folder {
  std::size_t path_length;  // of the folder's own path, a prefix of the walk's path buffer
  FileIdentity identity;
  FolderListing entries;    // those not yet visited come last
};

// Where an entry is asked for its status, opened and read. The answer must be the one that its
// whole path would give, resolved from the working folder. For an entry that is not a link, its
// open folder gives exactly that answer in one step instead of one per level: the folder's own
// path resolved when the folder was entered, and the entry adds no link to it. A link is resolved
// along its whole path, since the system limits how many links one path may run through and how
// many the folder's path used up is not known here; so is a path too long to name, which the
// system then refuses as it would have.
struct EntryAccess {
  int dir;           // the folder to resolve `name` from, or AT_FDCWD for the whole path
  const char* name;  // the entry's name or its whole path
};

class Walk {
 public:
  Walk(const std::string& root, FileSink& sink, HashSeeds& seeds)
      : sink_(sink), path_(root), visits_(seeds.next()), on_path_(0, FileIdentityHash{seeds.next()}) {}

  Status run() {
    if (path_.find('\0') != std::string::npos) return Error(kNulInPathText);
    FileDescriptor root(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) return Error(io_error_text(errno));
    struct stat status {};
    if (::fstat(root.get(), &status) != 0) return Error(io_error_text(errno));
    (void)visits_.admit(status);
    enter(std::move(root), status);

    // Each turn either visits one entry of the innermost folder or leaves that folder.
    while (!folders_.empty()) {
      std::optional<FolderListing::Entry> entry = folders_.back().entries.next();
      if (!entry) {
        if (const int failure = folders_.back().entries.failure(); failure != 0) return Error(io_error_text(failure));
        if (Status left = leave(); !left.ok()) return left;
        continue;
      }
      if (Status visited = visit(*entry); !visited.ok()) return visited;
      if (!sink_.wants_more()) return ok_status();
    }
    return ok_status();
  }

 private:
  Status visit(const FolderListing::Entry& entry) {
    path_.resize(folders_.back().path_length);
    append_to_path(path_, entry.name);
    if (entry.type == DT_REG && path_.size() < PATH_MAX) {
      // The listing says regular file, so no link: a name without the "py" extension costs no
      // system call at all, and a source file's status is that of the file once opened. Whatever
      // else meets it (it cannot be opened, or it is no longer a regular file) takes the road below.
      if (!has_extension(entry.name, "py")) return ok_status();
      if (read_regular_file(entry.name.data())) return ok_status();
    }

    // `entry.name` is NUL-terminated in its listing, which stays in place until its folder is
    // left: entering a subfolder moves no listing (see `folders_`).
    struct stat status {};
    EntryAccess access{};
    // A status that cannot be had (dangling link, link loop, no search permission, a path past
    // PATH_MAX) makes the entry a non-folder, without a word; a lack of kernel memory does not.
    const bool known = status_of(entry.name.data(), entry.type, status, access);
    if (!known) throw_if_out_of_memory(errno);
    if (known && S_ISDIR(status.st_mode)) {
      // A link back to a folder on the current path would repeat the walk under ever longer
      // paths, so it is passed over; a folder already walked often enough is passed over too.
      if (on_path_.contains(FileIdentity::of(status)) || !visits_.admit(status)) return ok_status();
      FileDescriptor folder(::openat(access.dir, access.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!folder.valid()) return Error(io_error_text(errno));
      enter(std::move(folder), status);
      return ok_status();
    }
    if (!has_extension(entry.name, "py")) return ok_status();
    if (known && !visits_.admit(status)) return ok_status();
    read_and_parse(access);
    return ok_status();
  }

  // The entry's status, following links, as its whole path would give it; `access` says where
  // to open it.
  bool status_of(const char* name, unsigned char type, struct stat& status, EntryAccess& access) const {
    access = {current_.get(), name};
    if (path_.size() < PATH_MAX) {
      if (type != DT_LNK && type != DT_UNKNOWN) return ::fstatat(access.dir, access.name, &status, 0) == 0;
      if (type == DT_UNKNOWN && ::fstatat(access.dir, access.name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          !S_ISLNK(status.st_mode)) {
        return true;
      }
    }
    access = {AT_FDCWD, path_.c_str()};
    return ::stat(access.name, &status) == 0;
  }

  // Opens `name` in the innermost folder, and reads and parses it when it is a regular file; false,
  // having done nothing, when it is not or cannot be opened.
  bool read_regular_file(const char* name) {
    FileDescriptor file;
    struct stat status {};
    if (!open_for_reading(current_.get(), name, file, status).ok() || !S_ISREG(status.st_mode)) return false;
    if (!visits_.admit(status)) return true;
    if (buffers_.text == nullptr) buffers_.text = std::make_unique<std::string>();
    parse_read(read_open_utf8_file_into(file, status, kMaxSourceBytes, kSourceTooLargeText, *buffers_.text));
    return true;
  }

  void read_and_parse(const EntryAccess& access) {
    if (buffers_.text == nullptr) buffers_.text = std::make_unique<std::string>();
    parse_read(read_utf8_file_into(access.dir, access.name, kMaxSourceBytes, kSourceTooLargeText, *buffers_.text));
  }

  // Parses the text just read into the buffer, or makes the read's failure a walk error.
  void parse_read(const Status& read) {
    if (!read.ok()) {
      sink_.on_error(WalkError{WalkError::Kind::ReadFailed, path_, read.error().message()});
      return;
    }
    std::variant<ParsedFile, WalkError> parsed = parse_text(path_, buffers_.text, buffers_.arena);
    if (auto* file = std::get_if<ParsedFile>(&parsed)) {
      sink_.on_file(std::move(*file));
      // Nothing may keep a view into the file's text or tree past this point: the next file is
      // read and parsed into the same memory. The sanitizer build frees both with the record
      // instead, so that a view kept too long is a use after free there, not a read of the next
      // file's bytes.
      if (!pysyntax::kCheckInvariants) std::move(*file).recycle(buffers_.text, buffers_.arena);
    } else {
      sink_.on_error(std::get<WalkError>(std::move(parsed)));
    }
  }

  // Reads the listing of `folder`, whose path is the walk's path, and makes it the innermost.
  void enter(FileDescriptor folder, const struct stat& status) {
    FolderListing listing = FolderListing::read(folder.get(), kept_by_name, listing_buffer_);
    folders_.push_back(Folder{path_.size(), FileIdentity::of(status), std::move(listing)});
    on_path_.insert(folders_.back().identity);
    current_ = std::move(folder);
  }

  // Back to the parent folder, which is open again afterwards. Its ".." leads there in one step
  // when the folder was not reached through a link; otherwise the parent's path is resolved.
  Status leave() {
    on_path_.erase(folders_.back().identity);
    folders_.pop_back();
    if (folders_.empty()) return ok_status();
    const Folder& parent = folders_.back();
    FileDescriptor up(::openat(current_.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (!up.valid() || ::fstat(up.get(), &status) != 0 || FileIdentity::of(status) != parent.identity) {
      path_.resize(parent.path_length);
      const int reopened = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (reopened < 0) return Error(io_error_text(errno));
      up = FileDescriptor(reopened);
    }
    current_ = std::move(up);
    return ok_status();
  }

  FileSink& sink_;
  std::string path_;  // the innermost folder's path, then the entry being visited
  // A deque, so that entering a folder never moves the listings below it: a short listing keeps
  // its characters inside itself, and a vector's growth would leave the entry names handed out
  // from it pointing at the old copy.
  std::deque<Folder> folders_;
  FileDescriptor current_;  // the innermost folder, the only one open
  VisitCounts visits_;      // of every folder and file, for the whole walk
  FileIdentitySet on_path_;  // the folders on the current path
  Buffers buffers_;
  ListingBuffer listing_buffer_;
};

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

Status walk_project(const std::string& root, FileSink& sink, HashSeeds& seeds) { return Walk(root, sink, seeds).run(); }

Status walk_project(const std::string& root, FileSink& sink) {
  HashSeeds seeds;
  return walk_project(root, sink, seeds);
}

Status walk_project(const std::string& root, std::vector<ParsedFile>& files, std::vector<WalkError>& errors) {
  ListSink sink(files, errors);
  return walk_project(root, sink);
}

}  // namespace detect
