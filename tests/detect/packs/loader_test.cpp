// The pack folder loaders on temporary folders: listing order, which names are read, blank files,
// warnings for bad and wrong-kind packs, and the errors that end a load. Also the blank-file test.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detect/packs.h"

namespace detect {
namespace {

std::string framework(const std::string& id, const std::string& kind = "framework") {
  return "schema_version: 1\nkind: " + kind + "\nid: " + id + "\n";
}
std::string pattern(const std::string& id, const std::string& kind = "pattern") {
  return "schema_version: 1\nkind: " + kind + "\nid: " + id + "\n";
}

class PackFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vesk-packs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    ::chmod((dir_ + "/locked.yaml").c_str(), 0644);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // The entry names in the order the file system lists them.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(dir_.c_str());
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
  }
  std::string dir_;
  std::vector<std::string> warnings_;
};

TEST_F(PackFolder, AFolderWithoutStatusHoldsNoPacks) {
  ASSERT_EQ(::symlink((dir_ + "/nowhere").c_str(), (dir_ + "/dangling").c_str()), 0);
  for (const std::string& path : {dir_ + "/missing", std::string(), dir_ + std::string("\0x", 2), dir_ + "/dangling"}) {
    const Result<std::vector<FrameworkPack>> packs = load_framework_packs(path, warnings_);
    ASSERT_TRUE(packs.ok()) << path;
    EXPECT_TRUE(packs->empty());
    const Result<std::vector<PatternPack>> patterns = load_pattern_packs(path, warnings_);
    ASSERT_TRUE(patterns.ok()) << path;
    EXPECT_TRUE(patterns->empty());
  }
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(PackFolder, AFileAsTheFolderCannotBeListed) {
  const std::string file = write("plain", "x");
  const Result<std::vector<PatternPack>> packs = load_pattern_packs(file, warnings_);
  ASSERT_FALSE(packs.ok());
  EXPECT_EQ(packs.error().message(), "reading " + file);
  EXPECT_EQ(packs.error().chain().back(), "Not a directory (os error 20)");
}

TEST_F(PackFolder, ReadsOnlyYamlNamesInListingOrder) {
  for (const char* name : {"b.yaml", "a.b.yaml", "..yaml", "z.yaml", "m.yaml", "q.yaml", "c.yaml"}) {
    write(name, framework(name));
  }
  for (const char* name : {"x.YAML", "x.yml", ".yaml", "x.yaml.bak", "yaml"}) write(name, framework("never"));
  ASSERT_EQ(::mkdir((dir_ + "/sub").c_str(), 0755), 0);
  write("sub/deep.yaml", framework("never"));
  std::vector<std::string> expected;
  for (const std::string& name : listing()) {
    if (name.size() > 5 && name.substr(name.size() - 5) == ".yaml" && name != ".yaml") expected.push_back(name);
  }
  const Result<std::vector<FrameworkPack>> packs = load_framework_packs(dir_ + "/", warnings_);
  ASSERT_TRUE(packs.ok()) << packs.error().message();
  std::vector<std::string> ids;
  for (const FrameworkPack& pack : packs.value()) ids.push_back(pack.id);
  EXPECT_EQ(ids, expected);
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(PackFolder, SkipsBlankFilesAndWarnsAboutBadOrWrongKindPacks) {
  write("empty.yaml", "");
  write("blank.yaml", "\n  # comment\n---\n...\n\t\r\n");
  write("marker.yaml", "---   \n");
  write("marker_comment.yaml", "--- # not blank\n");
  write("bom.yaml", "\xEF\xBB\xBF# comment only\n");
  write("two.yaml", pattern("p2") + "---\n");
  write("framework.yaml", pattern("f", "framework"));
  write("capital.yaml", pattern("c", "Pattern"));
  write("good.yaml", pattern("g"));
  write("twin.yaml", pattern("g"));
  const Result<std::vector<PatternPack>> packs = load_pattern_packs(dir_, warnings_);
  ASSERT_TRUE(packs.ok()) << packs.error().message();
  ASSERT_EQ(packs->size(), 2u);
  EXPECT_EQ(packs.value()[0].id, "g");
  EXPECT_EQ(packs.value()[1].id, "g");
  std::vector<std::string> expected;
  for (const std::string& name : listing()) {
    const std::string path = dir_ + "/" + name;
    if (name == "marker_comment.yaml") {
      expected.push_back("skipping " + path + ": missing field `schema_version` at line 2 column 1");
    } else if (name == "bom.yaml") {
      expected.push_back("skipping " + path + ": missing field `schema_version` at line 2 column 1");
    } else if (name == "two.yaml") {
      expected.push_back("skipping " + path +
                         ": deserializing from YAML containing more than one document is not supported");
    } else if (name == "framework.yaml") {
      expected.push_back("skipping " + path + ": kind=framework (expected pattern)");
    } else if (name == "capital.yaml") {
      expected.push_back("skipping " + path + ": kind=Pattern (expected pattern)");
    }
  }
  EXPECT_EQ(warnings_, expected);
}

TEST_F(PackFolder, FrameworkWarningsHideTheReadingError) {
  write("broken.yaml", "schema_version: 1\nkind: framework\n");
  write("pattern.yaml", framework("p", "pattern"));
  write("fw.yaml", framework("fw"));
  write("fw_again.yaml", framework("fw"));
  const Result<std::vector<FrameworkPack>> packs = load_framework_packs(dir_, warnings_);
  ASSERT_TRUE(packs.ok());
  EXPECT_EQ(packs->size(), 2u) << "packs sharing an id are both kept";
  std::vector<std::string> expected;
  for (const std::string& name : listing()) {
    if (name == "broken.yaml") expected.push_back("skipping " + dir_ + "/broken.yaml: parsing framework pack YAML");
    if (name == "pattern.yaml") {
      expected.push_back("skipping " + dir_ + "/pattern.yaml: pack id=p has kind=pattern, expected `framework`");
    }
  }
  EXPECT_EQ(warnings_, expected);
}

TEST_F(PackFolder, AnUnreadablePackEndsTheLoad) {
  struct Case {
    const char* why;
    void (*make)(const std::string& dir);
    const char* cause;
  };
  const Case cases[] = {
      {"a folder named like a pack", [](const std::string& dir) { ::mkdir((dir + "/x.yaml").c_str(), 0755); },
       "Is a directory (os error 21)"},
      {"a dangling link", [](const std::string& dir) { (void)::symlink("nowhere", (dir + "/x.yaml").c_str()); },
       "No such file or directory (os error 2)"},
      {"a named pipe", [](const std::string& dir) { ::mkfifo((dir + "/x.yaml").c_str(), 0644); },
       "Invalid argument (os error 22)"},
      {"bytes that are not UTF-8",
       [](const std::string& dir) { std::ofstream(dir + "/x.yaml", std::ios::binary) << "id: \xFF\n"; },
       "stream did not contain valid UTF-8"},
  };
  for (const Case& c : cases) {
    std::system(("rm -rf '" + dir_ + "'/*").c_str());
    write("bad.yaml", "not: a pack\n");
    c.make(dir_);
    warnings_.clear();
    const Result<std::vector<PatternPack>> packs = load_pattern_packs(dir_, warnings_);
    ASSERT_FALSE(packs.ok()) << c.why;
    EXPECT_EQ(packs.error().message(), "reading pack " + dir_ + "/x.yaml") << c.why;
    EXPECT_EQ(packs.error().chain().back(), c.cause) << c.why;
  }
}

TEST_F(PackFolder, ALinkToAPackIsReadThrough) {
  write("target.txt", pattern("linked"));
  ASSERT_EQ(::symlink("target.txt", (dir_ + "/link.yaml").c_str()), 0);
  const Result<std::vector<PatternPack>> packs = load_pattern_packs(dir_, warnings_);
  ASSERT_TRUE(packs.ok());
  ASSERT_EQ(packs->size(), 1u);
  EXPECT_EQ(packs.value()[0].id, "linked");
}

// Links and hard links can list one file under any number of names: it is read under the first
// three in listing order, the others are passed over. A wrong kind shows each read as a warning.
TEST_F(PackFolder, OnePackUnderManyNamesIsReadUnderTheFirstThree) {
  const std::string target = write("target.txt", pattern("shared", "other"));
  for (const char* name : {"l1.yaml", "l2.yaml", "l3.yaml"}) {
    ASSERT_EQ(::symlink("target.txt", (dir_ + "/" + name).c_str()), 0);
  }
  ASSERT_EQ(::link(target.c_str(), (dir_ + "/hard.yaml").c_str()), 0);
  write("own.yaml", pattern("own"));
  const Result<std::vector<PatternPack>> packs = load_pattern_packs(dir_, warnings_);
  ASSERT_TRUE(packs.ok());
  ASSERT_EQ(packs->size(), 1u);
  EXPECT_EQ(packs.value()[0].id, "own");
  std::vector<std::string> expected;
  for (const std::string& name : listing()) {
    if (name == "own.yaml" || name == "target.txt" || expected.size() == 3) continue;
    expected.push_back("skipping " + dir_ + "/" + name + ": kind=other (expected pattern)");
  }
  EXPECT_EQ(warnings_, expected);
}

TEST_F(PackFolder, AFileThatCannotBeOpenedEndsTheLoad) {
  if (::getuid() == 0) GTEST_SKIP() << "root reads every file";
  ::chmod(write("locked.yaml", pattern("l")).c_str(), 0);
  const Result<std::vector<PatternPack>> packs = load_pattern_packs(dir_, warnings_);
  ASSERT_FALSE(packs.ok());
  EXPECT_EQ(packs.error().message(), "reading pack " + dir_ + "/locked.yaml");
  EXPECT_EQ(packs.error().chain().back(), "Permission denied (os error 13)");
}

TEST_F(PackFolder, ShowsEntryPathsAsGivenWithReplacementCharacters) {
  write("bad\xFFname.yaml", pattern("x", "other"));
  ASSERT_EQ(::mkdir((dir_ + "/sub").c_str(), 0755), 0);
  struct Case {
    std::string folder;
    std::string shown;  // the folder as the warning shows it, before the entry's name
  };
  // Never normalised: only a "/" is put in when the folder's path does not end with one.
  const Case cases[] = {
      {dir_, dir_ + "/"},
      {dir_ + "/", dir_ + "/"},
      {dir_ + "//", dir_ + "//"},
      {dir_ + "/sub/..", dir_ + "/sub/../"},
      {dir_ + "/./", dir_ + "/./"},
  };
  for (const Case& c : cases) {
    warnings_.clear();
    const Result<std::vector<PatternPack>> packs = load_pattern_packs(c.folder, warnings_);
    ASSERT_TRUE(packs.ok()) << c.folder;
    ASSERT_EQ(warnings_.size(), 1u) << c.folder;
    EXPECT_EQ(warnings_[0], "skipping " + c.shown + "bad\xEF\xBF\xBDname.yaml: kind=other (expected pattern)");
  }
}

TEST(IsBlankYaml, PassesOverBlankCommentAndMarkerLinesOnly) {
  struct Case {
    const char* text;
    bool blank;
  };
  const Case cases[] = {
      {"", true},
      {"\n\n", true},
      {"# c\n  #indented\n", true},
      {"---\n...\n", true},
      {"  ---  \r\n", true},
      {"\xC2\xA0\xE3\x80\x80# ideographic space before\n", true},
      {"\xE2\x80\xA8---\xC2\x85", true},
      {"--- # c\n", false},
      {"----\n", false},
      {"\xEF\xBB\xBF# c\n", false},
      {"\xE2\x80\x8B\n", false},
      {"\x1C\n", false},
      {"# c\nid: x\n", false},
      {"\xFF\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_blank_yaml(c.text), c.blank) << c.text;
}

}  // namespace
}  // namespace detect
