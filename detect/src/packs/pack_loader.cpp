// The pack folder loaders: every entry named *.yaml, in the order the folder lists them, read into a
// pack record; blank files pass silently, bad and wrong-kind packs become warnings, and a folder or file
// that cannot be read ends the load. One file under many names (links) is read under the first
// kMaxVisitsPerIdentity of them only.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_descriptor.h"
#include "common/file_identity.h"
#include "common/open_file.h"
#include "detect/io.h"
#include "detect/packs.h"
#include "detect/path.h"

namespace detect {

namespace {

class DirHandle {
 public:
  explicit DirHandle(DIR* dir) : dir_(dir) {}
  ~DirHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  [[nodiscard]] DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

std::string skipping(const std::string& path, std::string_view reason) {
  return "skipping " + path_to_text(path) + ": " + std::string(reason);
}

// What differs between the two loaders.
struct FrameworkKind {
  using Pack = FrameworkPack;
  static PackRead<Pack> read(std::string_view text, HashSeeds& seeds) { return read_framework_pack(text, seeds); }
  static std::string read_failed(const std::string& path, const PackReadError&) {
    // The reading error stays beneath this fixed text and is never shown.
    return skipping(path, "parsing framework pack YAML");
  }
  static bool right_kind(const Pack& pack) { return pack.kind == "framework"; }
  static std::string wrong_kind(const std::string& path, const Pack& pack) {
    return skipping(path, "pack id=" + pack.id + " has kind=" + pack.kind + ", expected `framework`");
  }
};

struct PatternKind {
  using Pack = PatternPack;
  static PackRead<Pack> read(std::string_view text, HashSeeds& seeds) { return read_pattern_pack(text, seeds); }
  static std::string read_failed(const std::string& path, const PackReadError& error) {
    return skipping(path, error.display());
  }
  static bool right_kind(const Pack& pack) { return pack.kind == "pattern"; }
  static std::string wrong_kind(const std::string& path, const Pack& pack) {
    return skipping(path, "kind=" + pack.kind + " (expected pattern)");
  }
};

template <typename Kind>
Result<std::vector<typename Kind::Pack>> load_packs(const std::string& dir, std::vector<std::string>& warnings,
                                                    HashSeeds& seeds) {
  std::vector<typename Kind::Pack> packs;
  // A folder whose status cannot be had holds no packs (unless the kernel had no memory to tell);
  // a path with a NUL byte names no file at all.
  struct stat status {};
  if (dir.find('\0') != std::string::npos) return packs;
  if (::stat(dir.c_str(), &status) != 0) {
    throw_if_out_of_memory(errno);
    return packs;
  }

  VisitCounts visits(seeds.next());
  const DirHandle listing(::opendir(dir.c_str()));
  if (listing.get() == nullptr) return Error(io_error_text(errno)).context("reading " + path_to_text(dir));
  for (;;) {  // every pass takes one entry of the listing
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) {
      if (errno != 0) return Error(io_error_text(errno));
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !has_extension(name, "yaml")) continue;
    const std::string path = join_path(dir, name);
    // Links can make one pack file appear under any number of names; it is read under the first
    // few only, as the walk does with a source file. The status is the open file's; one that cannot
    // be opened is asked for its status by name, so that it counts its visits all the same.
    std::string text;
    FileDescriptor file;
    struct stat pack_status {};
    Status read = open_for_reading(AT_FDCWD, path.c_str(), file, pack_status);
    if (!read.ok()) {
      if (::stat(path.c_str(), &pack_status) == 0 && !visits.admit(pack_status)) continue;
    } else {
      if (!visits.admit(pack_status)) continue;
      read = read_open_utf8_file_into(file, pack_status, kNoSizeLimit, kFileTooLargeText, text);
    }
    if (!read.ok()) return std::move(read).error().context("reading pack " + path_to_text(path));
    if (is_blank_yaml(text)) continue;
    PackRead<typename Kind::Pack> pack = Kind::read(text, seeds);
    if (!pack.pack) {
      warnings.push_back(Kind::read_failed(path, *pack.error));
    } else if (!Kind::right_kind(*pack.pack)) {
      warnings.push_back(Kind::wrong_kind(path, *pack.pack));
    } else {
      packs.push_back(std::move(*pack.pack));
    }
  }
  return packs;
}

}  // namespace

Result<std::vector<FrameworkPack>> load_framework_packs(const std::string& dir, std::vector<std::string>& warnings,
                                                        HashSeeds& seeds) {
  return load_packs<FrameworkKind>(dir, warnings, seeds);
}

Result<std::vector<PatternPack>> load_pattern_packs(const std::string& dir, std::vector<std::string>& warnings,
                                                    HashSeeds& seeds) {
  return load_packs<PatternKind>(dir, warnings, seeds);
}

Result<std::vector<FrameworkPack>> load_framework_packs(const std::string& dir, std::vector<std::string>& warnings) {
  HashSeeds seeds;
  return load_framework_packs(dir, warnings, seeds);
}

Result<std::vector<PatternPack>> load_pattern_packs(const std::string& dir, std::vector<std::string>& warnings) {
  HashSeeds seeds;
  return load_pattern_packs(dir, warnings, seeds);
}

}  // namespace detect
