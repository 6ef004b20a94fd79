// The project walk over trees built on the spot: order, name and extension tests, links and the
// paths they multiply, read failures, listing failures, depth and open descriptors. The parser's
// verdict does not matter here (files are written as valid Python, but a parsed file and a parse
// failure both count as "considered").
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detect/io.h"
#include "detect/walk.h"
#include "detect/walk/temp_tree.h"
#include "pysyntax/invariant.h"

namespace detect {
namespace {

using testing::TempTree;

struct Seen {
  std::string path;
  bool read_failed = false;
  std::string detail;  // the I/O error text of a read failure
};

// Keeps every result in the order the walk hands it over, files and errors interleaved.
class RecordingSink final : public FileSink {
 public:
  void on_file(ParsedFile&& file) override { seen.push_back({file.path, false, ""}); }
  void on_error(WalkError&& error) override {
    const bool read_failed = error.kind == WalkError::Kind::ReadFailed;
    seen.push_back({error.path, read_failed, read_failed ? error.detail : ""});
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> out;
    for (const Seen& s : seen) out.push_back(s.path);
    return out;
  }
  std::vector<Seen> seen;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// `prefix` followed by `n` in decimal (built by appending: g++ 12 warns wrongly about
// `"literal" + std::to_string(n)` at -O3).
std::string numbered(std::string prefix, int n) {
  prefix += std::to_string(n);
  return prefix;
}

// The names of `folder` that `wanted` accepts, in the order the file system lists them.
std::vector<std::string> listed(const std::string& folder, const std::function<bool(const std::string&)>& wanted) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  EXPECT_NE(listing, nullptr) << folder;
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && wanted(name)) names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

// Lets every record go but keeps a view into the first file's text or tree, and reads it when
// the second file arrives: the fault that a text buffer and arena reused from file to file would
// otherwise hide behind the second file's bytes.
class StaleViewSink final : public FileSink {
 public:
  explicit StaleViewSink(bool of_tree) : of_tree_(of_tree) {}
  void on_file(ParsedFile&& file) override {
    if (!kept_) {
      text_ = file.source_text();
      statements_ = file.statements;
      kept_ = true;
      return;
    }
    read_ += of_tree_ ? std::to_string(static_cast<int>(statements_[0]->kind)) : std::string(text_);
  }
  void on_error(WalkError&&) override {}

 private:
  bool of_tree_;
  bool kept_ = false;
  std::string_view text_;
  pysyntax::Span<pysyntax::Stmt*> statements_;
  std::string read_;
};

TEST(WalkBuffersDeathTest, AViewKeptPastItsFileIsAUseAfterFreeInTheSanitizerBuild) {
  if (!pysyntax::kCheckInvariants) GTEST_SKIP() << "each file's buffers are freed in the sanitizer build only";
  TempTree tree;
  tree.file("a.py", "first = [1, 2, 3]\n");
  tree.file("b.py", "second = 2\n");
  for (const bool of_tree : {false, true}) {
    EXPECT_DEATH(
        {
          StaleViewSink sink(of_tree);
          (void)walk_project(tree.root(), sink);
        },
        "heap-use-after-free")
        << (of_tree ? "tree" : "text");
  }
}

TEST(WalkOrder, FollowsEachFolderListingDepthFirst) {
  TempTree tree;
  for (const char* name : {"m.py", "b.py", "sub", "a.py", "sub/z.py", "sub/deeper", "sub/deeper/q.py", "sub/c.py",
                           "k.py", "other", "other/e.py"}) {
    const std::string n = name;
    if (n.find(".py") == std::string::npos) tree.dir(n); else tree.file(n, "x = 1\n");
  }
  // What readdir itself says, folder by folder.
  std::vector<std::string> expected;
  std::function<void(const std::string&)> list = [&](const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    ASSERT_NE(listing, nullptr);
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (name.find(".py") == std::string::npos) list(folder + "/" + name); else expected.push_back(folder + "/" + name);
    }
    ::closedir(listing);
  };
  list(tree.root());

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.root(), sink).ok());
  EXPECT_EQ(sink.paths(), expected);
  ASSERT_EQ(expected.size(), 8u);
}

TEST(WalkNames, HiddenToolAndForeignEntriesArePassedOver) {
  TempTree tree;
  for (const char* folder : {".git", ".venv", "__pycache__", "node_modules", "Node_Modules", "__pycache__2", "tools.py",
                             "files"}) {
    tree.dir(folder);
    tree.file(std::string(folder) + "/inner.py", "x = 1\n");
  }
  for (const char* file : {".hidden.py", "A.PY", "stub.pyi", "w.pyw", "notes.py.txt", "a.py.bak", "a.", "noext", "a.b.py",
                           "a..py", "files/__pycache__", "files/node_modules", "files/.py"}) {
    tree.file(file, "x = 1\n");
  }
  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.root(), sink).ok());
  const std::string r = tree.root() + "/";
  EXPECT_EQ(sorted(sink.paths()), sorted({r + "Node_Modules/inner.py", r + "__pycache__2/inner.py", r + "tools.py/inner.py",
                                          r + "files/inner.py", r + "a.b.py", r + "a..py"}));
}

TEST(WalkNames, TheRootIsUsedAsGivenAndNeverNameTested) {
  TempTree tree;
  for (const char* root : {".proj", "node_modules", "__pycache__", "plain"}) {
    tree.dir(root);
    tree.file(std::string(root) + "/a.py", "x = 1\n");
  }
  struct Case {
    std::string root;
    std::string expected;
  };
  const std::string t = tree.root();
  for (const Case& c : {Case{t + "/.proj", t + "/.proj/a.py"}, Case{t + "/node_modules", t + "/node_modules/a.py"},
                        Case{t + "/__pycache__/", t + "/__pycache__/a.py"}, Case{t + "//plain//", t + "//plain//a.py"}}) {
    RecordingSink sink;
    ASSERT_TRUE(walk_project(c.root, sink).ok()) << c.root;
    EXPECT_EQ(sink.paths(), std::vector<std::string>{c.expected}) << c.root;
  }
}

TEST(WalkLinks, LinksAreFollowedUnderTheirOwnPaths) {
  TempTree tree;
  tree.dir("real");
  tree.file("real/m.py", "x = 1\n");
  tree.file("target.txt", "x = 1\n");
  tree.dir("walk");
  tree.link("walk/folder_link", tree.at("real"));
  tree.link("walk/file_link.py", "../target.txt");
  tree.link("walk/again.py", "../target.txt");
  tree.link("walk/dangling.py", "../missing.py");
  tree.link("walk/dangling_dir", "../missing");

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.at("walk"), sink).ok());
  const std::string w = tree.at("walk") + "/";
  EXPECT_EQ(sorted(sink.paths()), sorted({w + "folder_link/m.py", w + "file_link.py", w + "again.py", w + "dangling.py"}));
  for (const Seen& s : sink.seen) {
    EXPECT_EQ(s.read_failed, s.path == w + "dangling.py") << s.path;
    if (s.read_failed) {
      EXPECT_EQ(s.detail, "No such file or directory (os error 2)");
    }
  }
}

// Without the check, each link back to an ancestor repeats the walk under a longer path until
// the system refuses the chain, and two of them make the walk exponential.
TEST(WalkLinks, LinksBackToAFolderOnThePathArePassedOverSilently) {
  TempTree tree;
  tree.dir("proj");
  tree.file("proj/top.py", "x = 1\n");
  tree.dir("proj/sub");
  tree.file("proj/sub/low.py", "x = 1\n");
  tree.link("proj/sub/up", "..");
  tree.link("proj/sub/root", tree.at("proj"));
  tree.link("proj/sub/self", ".");
  tree.link("proj/sub/up.py", "..");  // a folder whatever its name: passed over, not read
  // A link to a sibling is not a loop: it is walked once more under its own path.
  tree.dir("proj/other");
  tree.file("proj/other/o.py", "x = 1\n");
  tree.link("proj/sub/sibling", "../other");

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.at("proj"), sink).ok());
  const std::string p = tree.at("proj") + "/";
  EXPECT_EQ(sorted(sink.paths()), sorted({p + "top.py", p + "sub/low.py", p + "other/o.py", p + "sub/sibling/o.py"}));
}

// Folders l0 to l3, each with a file and two links x and y to the next: the paths double at
// every level, but each folder is walked under the first three paths that reach it only.
TEST(WalkLinks, AFolderReachedAlongManyPathsIsWalkedUnderTheFirstThree) {
  TempTree tree;
  constexpr int kLevels = 4;
  for (int level = 0; level < kLevels; ++level) {
    tree.dir(numbered("l", level));
    tree.file(numbered("l", level) + "/m.py", "x = 1\n");
  }
  std::vector<std::vector<std::string>> links;  // per level, its two links in listing order
  for (int level = 0; level + 1 < kLevels; ++level) {
    const std::string folder = numbered("l", level);
    tree.link(folder + "/x", numbered("../l", level + 1));
    tree.link(folder + "/y", numbered("../l", level + 1));
    links.push_back(listed(tree.at(folder), [](const std::string& name) { return name != "m.py"; }));
    ASSERT_EQ(links.back().size(), 2u);
  }
  const auto first = [&](int level) { return "/" + links[level][0]; };
  const auto second = [&](int level) { return "/" + links[level][1]; };

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.at("l0"), sink).ok());
  const std::string l0 = tree.at("l0");
  // l1 is reached twice; l2 under l0's first link twice, then once more under its second, whose
  // second link would be l2's fourth path; l3 likewise under the first paths to l2.
  const std::vector<std::string> folders = {
      l0,
      l0 + first(0), l0 + second(0),
      l0 + first(0) + first(1), l0 + first(0) + second(1), l0 + second(0) + first(1),
      l0 + first(0) + first(1) + first(2), l0 + first(0) + first(1) + second(2), l0 + first(0) + second(1) + first(2),
  };
  std::vector<std::string> expected;
  for (const std::string& folder : folders) expected.push_back(folder + "/m.py");
  EXPECT_EQ(sorted(sink.paths()), sorted(expected));
}

// One folder and one file, each under four names (the real one, links, for the file also a hard
// link): the first three in listing order are used, the fourth is passed over.
TEST(WalkLinks, TheThirdPathToAFolderOrFileIsUsedAndTheFourthIsNot) {
  TempTree tree;
  tree.dir("shared");
  tree.file("shared/m.py", "x = 1\n");
  tree.file("one.py", "x = 1\n");
  for (const char* name : {"s1", "s2", "s3"}) tree.link(name, "shared");
  tree.link("f1.py", "one.py");
  tree.link("f2.py", tree.at("one.py"));
  ASSERT_EQ(::link(tree.at("one.py").c_str(), tree.at("hard.py").c_str()), 0);

  const std::vector<std::string> folders = listed(tree.root(), [](const std::string& n) { return n[0] == 's'; });
  const std::vector<std::string> files = listed(tree.root(), [](const std::string& n) { return n[0] != 's'; });
  ASSERT_EQ(folders.size(), 4u);
  ASSERT_EQ(files.size(), 4u);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back(tree.at(folders[i] + "/m.py"));
    expected.push_back(tree.at(files[i]));
  }

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.root(), sink).ok());
  EXPECT_EQ(sorted(sink.paths()), sorted(expected));
}

// Leaving a folder reached through a link must come back to the folder that holds the link, not
// to the parent of the link's target, which here holds files of the same names that do not parse.
TEST(WalkLinks, AfterALinkedFolderTheWalkGoesOnInTheFolderOfTheLink) {
  TempTree tree;
  tree.dir("proj");
  tree.dir("elsewhere");
  tree.dir("elsewhere/target");
  tree.file("elsewhere/target/t.py", "x = 1\n");
  std::vector<std::string> expected = {tree.at("proj/far/t.py")};
  for (int i = 0; i < 20; ++i) {
    const std::string name = numbered("m", i) + ".py";
    tree.file("proj/" + name, "x = 1\n");
    tree.file("elsewhere/" + name, "x = (\n");
    expected.push_back(tree.at("proj/" + name));
  }
  tree.link("proj/far", "../elsewhere/target");
  tree.dir("proj/sub");  // a subfolder too, so that the walk comes back up from a plain folder as well
  tree.file("proj/sub/s.py", "x = 1\n");
  expected.push_back(tree.at("proj/sub/s.py"));

  std::vector<ParsedFile> files;
  std::vector<WalkError> errors;
  ASSERT_TRUE(walk_project(tree.at("proj"), files, errors).ok());
  EXPECT_TRUE(errors.empty()) << errors.front().path;
  std::vector<std::string> parsed;
  for (const ParsedFile& file : files) parsed.push_back(file.path);
  EXPECT_EQ(sorted(parsed), sorted(expected));
}

// Folders c0 to c44, each holding a link to the next: a path runs through one link more at every
// level, and the system resolves at most so many links in one path. Entries are taken as their
// whole path would give them: below that depth the next folder's status cannot be had, and a
// link named like a source file fails to read with the system's own error.
TEST(WalkLinks, ThePathsLinksStillResolveWholeAreWalked) {
  TempTree tree;
  constexpr int kLevels = 45;
  for (int level = 0; level < kLevels; ++level) {
    const std::string folder = numbered("c", level);
    tree.dir(folder);
    tree.file(folder + "/m.py", "x = 1\n");
    tree.link(folder + "/again.py", "m.py");
    if (level + 1 < kLevels) tree.link(folder + "/next", numbered("../c", level + 1));
  }
  // What the system makes of each level's whole path, with no walk involved.
  std::vector<std::string> expected;
  std::string folder = tree.at("c0");
  struct stat status {};
  for (int level = 0; level < kLevels && ::stat(folder.c_str(), &status) == 0; ++level, folder += "/next") {
    expected.push_back(folder + "/m.py");
    const std::string again = folder + "/again.py";
    expected.push_back(::stat(again.c_str(), &status) == 0 ? again : again + ": " + io_error_text(errno));
  }
  ASSERT_LT(expected.size(), 2u * kLevels) << "the system resolved every path: the limit was not met";

  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.at("c0"), sink).ok());
  std::vector<std::string> seen;
  for (const Seen& s : sink.seen) seen.push_back(s.read_failed ? s.path + ": " + s.detail : s.path);
  EXPECT_EQ(sorted(seen), sorted(expected));
}

TEST(WalkReading, UnreadableFilesAreWarningsAndTheWalkGoesOn) {
  TempTree tree;
  tree.file("bad.py", "x = '\xff'\n");
  tree.fifo("pipe.py");  // opened for reading it would block the walk for ever
  tree.dir("pkg.py");
  tree.file("pkg.py/good.py", "x = 1\n");
  // 4 GiB, one byte past what the parser's 32-bit offsets can take; sparse, so nothing is written.
  tree.file("huge.py");
  ASSERT_EQ(::truncate(tree.at("huge.py").c_str(), 4294967296), 0);
  std::vector<std::string> expected_failures = {tree.at("bad.py") + ": stream did not contain valid UTF-8",
                                                tree.at("pipe.py") + ": Invalid argument (os error 22)",
                                                tree.at("huge.py") + ": file too large for the parser (4 GiB or more)"};
  if (testing::permissions_bind()) {
    tree.file("secret.py", "x = 1\n");
    tree.chmod("secret.py", 0);
    expected_failures.push_back(tree.at("secret.py") + ": Permission denied (os error 13)");
  }

  std::vector<ParsedFile> files;
  std::vector<WalkError> errors;
  errors.push_back(WalkError{WalkError::Kind::ReadFailed, "earlier", "kept"});
  ASSERT_TRUE(walk_project(tree.root(), files, errors).ok());
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().path, "earlier");  // the lists are appended to, never cleared
  std::vector<std::string> failures;
  std::vector<std::string> considered;
  for (const ParsedFile& f : files) considered.push_back(f.path);
  for (auto e = errors.begin() + 1; e != errors.end(); ++e) {
    if (e->kind == WalkError::Kind::ReadFailed) failures.push_back(e->path + ": " + e->detail); else considered.push_back(e->path);
  }
  EXPECT_EQ(sorted(failures), sorted(expected_failures));
  EXPECT_EQ(considered, std::vector<std::string>{tree.at("pkg.py/good.py")});
}

TEST(WalkListing, ARootThatCannotBeListedFailsBeforeAnyEntry) {
  TempTree tree;
  tree.file("file.py", "x = 1\n");
  struct Case {
    std::string root;
    std::string message;
  };
  for (const Case& c : {Case{tree.at("missing"), "No such file or directory (os error 2)"},
                        Case{tree.at("file.py"), "Not a directory (os error 20)"},
                        Case{"", "No such file or directory (os error 2)"},
                        // The part before the NUL is a real folder: it must not be walked instead.
                        Case{tree.root() + std::string("\0zzz", 4),
                             "file name contained an unexpected NUL byte"}}) {
    RecordingSink sink;
    const Status status = walk_project(c.root, sink);
    ASSERT_FALSE(status.ok()) << c.root;
    EXPECT_EQ(status.error().message(), c.message) << c.root;
    EXPECT_TRUE(sink.seen.empty());
  }
}

TEST(WalkListing, AnUnlistableSubfolderEndsTheWholeWalk) {
  if (!testing::permissions_bind()) GTEST_SKIP() << "running as root: every folder can be listed";
  TempTree tree;
  tree.dir("a");
  tree.dir("a/locked");
  tree.file("a/locked/hidden_from_us.py", "x = 1\n");
  tree.chmod("a/locked", 0);
  RecordingSink sink;
  const Status status = walk_project(tree.root(), sink);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().message(), "Permission denied (os error 13)");
}

TEST(WalkListing, AFolderListableButNotSearchableGivesStatuslessEntries) {
  if (!testing::permissions_bind()) GTEST_SKIP() << "running as root: every folder can be searched";
  TempTree tree;
  tree.dir("a");
  tree.dir("a/sub");
  tree.file("a/sub/unseen.py", "x = 1\n");
  tree.file("a/m.py", "x = 1\n");
  tree.chmod("a", 0444);
  RecordingSink sink;
  ASSERT_TRUE(walk_project(tree.root(), sink).ok());
  ASSERT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(sink.seen[0].path, tree.at("a/m.py"));
  EXPECT_TRUE(sink.seen[0].read_failed);
  EXPECT_EQ(sink.seen[0].detail, "Permission denied (os error 13)");
}

// A tree deeper than any path can name (PATH_MAX is 4096 bytes): below that depth the status of
// an entry cannot be had, so the descent stops there quietly and the walk still succeeds.
TEST(WalkDepth, ATreeDeeperThanAPathCanNameEndsInOrder) {
  TempTree tree;
  const std::string level_name(100, 'd');
  constexpr int kLevels = 60;
  int fd = ::open(tree.root().c_str(), O_DIRECTORY | O_RDONLY);
  ASSERT_GE(fd, 0);
  for (int level = 0; level < kLevels; ++level) {
    ASSERT_EQ(::mkdirat(fd, level_name.c_str(), 0755), 0);
    const int next = ::openat(fd, level_name.c_str(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(next, 0);
    ::close(fd);
    fd = next;
    if (level == 0 || level == kLevels - 1) {
      const int f = ::openat(fd, "f.py", O_CREAT | O_WRONLY, 0644);
      ASSERT_GE(f, 0);
      ::close(f);
    }
  }
  RecordingSink sink;
  const Status status = walk_project(tree.root(), sink);
  EXPECT_TRUE(status.ok());
  ASSERT_EQ(sink.seen.size(), 1u);
  EXPECT_EQ(sink.seen[0].path, tree.root() + "/" + level_name + "/f.py");

  // Climb back up removing one level at a time: the full paths are too long for nftw.
  ::unlinkat(fd, "f.py", 0);
  for (int level = 0; level < kLevels; ++level) {
    const int parent = ::openat(fd, "..", O_DIRECTORY | O_RDONLY);
    ASSERT_GE(parent, 0);
    ::close(fd);
    fd = parent;
    if (level == kLevels - 1) ::unlinkat(fd, (level_name + "/f.py").c_str(), 0);
    ASSERT_EQ(::unlinkat(fd, level_name.c_str(), AT_REMOVEDIR), 0);
  }
  ::close(fd);
}


// Walks `root` allowed `descriptors` open files at most; exits 0 when it found exactly `expected`.
[[noreturn]] void walk_with_descriptors(rlim_t descriptors, const std::string& root,
                                        const std::vector<std::string>& expected) {
  const struct rlimit limit = {descriptors, descriptors};
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(2);
  RecordingSink sink;
  const bool walked = walk_project(root, sink).ok();
  std::_Exit(walked && sorted(sink.paths()) == expected ? 0 : 1);
}

// The descriptors of a walk stay the same at any depth: with 16 of them at most, a tree many
// times deeper is walked to its bottom. In a child, whose limit the test cannot leak.
TEST(WalkDepth, ADeepTreeNeedsNoMoreDescriptorsThanAShallowOne) {
  TempTree tree;
  constexpr int kLevels = 300;
  std::string bottom = tree.root();
  for (int level = 0; level < kLevels; ++level) {
    bottom += "/d";
    ASSERT_EQ(::mkdir(bottom.c_str(), 0755), 0);
  }
  tree.file(bottom.substr(tree.root().size() + 1) + "/m.py", "x = 1\n");
  tree.file("d/top.py", "x = 1\n");
  const std::vector<std::string> expected = sorted({tree.at("d/top.py"), bottom + "/m.py"});
  EXPECT_EXIT(walk_with_descriptors(16, tree.root(), expected), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace detect
