// A folder tree made for one test under /tmp and removed with everything in it afterwards
// (symbolic links are removed, never followed). Paths given to the helpers are relative to the
// root; permissions changed through `chmod` are restored before removal.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace detect::testing {

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/vesk-walk-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    root_ = made != nullptr ? made : "/nonexistent";
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  ~TempTree() {
    for (const std::string& path : changed_modes_) ::chmod(path.c_str(), 0755);
    ::nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }

  const std::string& root() const { return root_; }
  std::string at(const std::string& relative) const { return root_ + "/" + relative; }

  void dir(const std::string& relative) const { ASSERT_EQ(::mkdir(at(relative).c_str(), 0755), 0) << relative; }
  void file(const std::string& relative, const std::string& content = "") const {
    std::ofstream out(at(relative), std::ios::binary);
    out << content;
    ASSERT_TRUE(out.good()) << relative;
  }
  void link(const std::string& relative, const std::string& target) const {
    ASSERT_EQ(::symlink(target.c_str(), at(relative).c_str()), 0) << relative;
  }
  void fifo(const std::string& relative) const { ASSERT_EQ(::mkfifo(at(relative).c_str(), 0644), 0) << relative; }
  void chmod(const std::string& relative, mode_t mode) {
    changed_modes_.push_back(at(relative));
    ASSERT_EQ(::chmod(at(relative).c_str(), mode), 0) << relative;
  }

 private:
  static int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
  }

  std::string root_;
  std::vector<std::string> changed_modes_;
};

// Permission tests mean nothing to a user whom permissions do not stop.
inline bool permissions_bind() { return ::geteuid() != 0; }

}  // namespace detect::testing
