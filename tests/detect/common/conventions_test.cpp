// The conventions every subsystem shares: error values, I/O error texts, reading UTF-8 files,
// joining and showing paths, the extension test, the large blocks of the bulk records.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "detect/error.h"
#include "detect/io.h"
#include "detect/large_block.h"
#include "detect/path.h"
#include "detect/record_list.h"

namespace detect {
namespace {

TEST(ErrorValue, ShowsOnlyTheOutermostContext) {
  Error error = Error("No such file or directory (os error 2)").context("reading pack a.yaml");
  error = std::move(error).context("loading framework packs");
  EXPECT_EQ(error.message(), "loading framework packs");
  ASSERT_EQ(error.chain().size(), 3u);
  EXPECT_EQ(error.chain().back(), "No such file or directory (os error 2)");

  Result<int> failed = std::move(error);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message(), "loading framework packs");
  Result<int> fine = 7;
  ASSERT_TRUE(fine.ok());
  EXPECT_EQ(*fine, 7);
}

TEST(IoErrorText, IsTheSystemDescriptionWithTheNumber) {
  EXPECT_EQ(io_error_text(ENOENT), "No such file or directory (os error 2)");
  EXPECT_EQ(io_error_text(EACCES), "Permission denied (os error 13)");
  EXPECT_EQ(io_error_text(EISDIR), "Is a directory (os error 21)");
  EXPECT_EQ(io_error_text(ELOOP), "Too many levels of symbolic links (os error 40)");
  // No I/O error: the system (opendir's buffer, the kernel) had no memory for the call.
  EXPECT_THROW((void)io_error_text(ENOMEM), std::bad_alloc);
}

// Capacities whose page rounding or byte count would wrap around to a small size: refused, and
// the block keeps what it had.
TEST(LargeBlock, RefusesCapacitiesNoAddressSpaceHolds) {
  LargeBlock block;
  ASSERT_TRUE(block.grow_to(100));
  block.data()[0] = 'x';
  const std::size_t capacity = block.capacity();
  for (const std::size_t size : {SIZE_MAX, SIZE_MAX - 4096, std::size_t{1} << 62}) {
    EXPECT_FALSE(block.grow_to(size)) << size;
    EXPECT_EQ(block.capacity(), capacity);
  }
  EXPECT_EQ(block.data()[0], 'x');

  RecordList<std::uint64_t> records;
  EXPECT_THROW(records.reserve(SIZE_MAX / 4), std::bad_alloc);
  records.push_back(7);
  EXPECT_EQ(records.front(), 7u);
}

TEST(JoinPath, PutsOneSlashOnlyWhenNeeded) {
  struct Case {
    const char* dir;
    const char* name;
    const char* joined;
  };
  const Case cases[] = {
      {"proj", "packs", "proj/packs"}, {"proj/", "packs", "proj/packs"}, {"", "packs", "packs"},
      {"/", "packs", "/packs"},        {"a//", "b", "a//b"},             {"./x/..", "y", "./x/../y"},
  };
  for (const Case& c : cases) EXPECT_EQ(join_path(c.dir, c.name), c.joined) << c.dir;
}

TEST(PathToText, ReplacesEachMaximalIllFormedSubpartOnce) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string bytes;
    std::string text;
    const char* why;
  };
  const Case cases[] = {
      {"plain/ascii.py", "plain/ascii.py", "ascii unchanged"},
      {"caf\xC3\xA9/\xF0\x9F\x90\x8D.py", "caf\xC3\xA9/\xF0\x9F\x90\x8D.py", "valid multibyte kept"},
      {"a\xC0\xAF" "b", "a" + fffd + fffd + "b", "overlong 2-byte: C0 and AF each alone"},
      {"\xE0\x80\xAF", fffd + fffd + fffd, "overlong 3-byte: E0 80 is no prefix"},
      {"\xED\xA0\x80", fffd + fffd + fffd, "surrogate D800 encoded"},
      {"\xF0\x9F\x90", fffd, "truncated 4-byte sequence is one subpart"},
      {"\xF0\x9F\x90x", fffd + "x", "truncated then ascii"},
      {"\xE2\x82", fffd, "truncated 3-byte at end"},
      {"\xF5\xF6\xFF", fffd + fffd + fffd, "bytes F5-FF are never lead bytes"},
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd, "above U+10FFFF"},
      {"\x80\xBF", fffd + fffd, "lone continuation bytes"},
      {"\xC2", fffd, "lone lead byte"},
      {"\xF1\x80\x80\xE1\x80\xC2" "a", fffd + fffd + fffd + "a",
       "Unicode standard example pattern"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(path_to_text(c.bytes), c.text) << c.why;
    EXPECT_EQ(is_valid_utf8(c.bytes), c.bytes == c.text) << c.why;
  }
}

TEST(HasExtension, IsExactAndCaseSensitive) {
  struct Case {
    const char* name;
    const char* extension;
    bool expected;
  };
  const Case cases[] = {
      {"a.py", "py", true},      {"a.b.py", "py", true},     {"a..py", "py", true},
      {"..yaml", "yaml", true},  {"x.y.yaml", "yaml", true}, {".yaml", "yaml", false},
      {"a.PY", "py", false},     {"a.pyi", "py", false},     {"a.py.bak", "py", false},
      {"a.", "py", false},       {"py", "py", false},        {"..", "", false},
      {"a.yml", "yaml", false},  {"a.yaml.txt", "yaml", false},
  };
  for (const Case& c : cases) EXPECT_EQ(has_extension(c.name, c.extension), c.expected) << c.name;
}

class ReadFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vesk-io-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = join_path(dir_, name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir_;
};

TEST_F(ReadFile, ReadsUtf8ThroughLinks) {
  const std::string path = write("a.py", "x = '\xC3\xA9'\n");
  ASSERT_EQ(::symlink(path.c_str(), join_path(dir_, "link.py").c_str()), 0);
  for (const std::string& p : {path, join_path(dir_, "link.py")}) {
    Result<std::string> text = read_utf8_file(p);
    ASSERT_TRUE(text.ok()) << text.error().message();
    EXPECT_EQ(*text, "x = '\xC3\xA9'\n");
  }
  Result<std::string> empty = read_utf8_file(write("empty.py", ""));
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(*empty, "");
}

TEST_F(ReadFile, FailuresCarryTheirIoText) {
  ASSERT_EQ(::mkdir(join_path(dir_, "pkg.yaml").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("/nonexistent/target", join_path(dir_, "dangling.py").c_str()), 0);
  ASSERT_EQ(::mkfifo(join_path(dir_, "pipe.py").c_str(), 0644), 0);
  struct Case {
    std::string path;
    std::string text;
  };
  const Case cases[] = {
      {write("bad.py", "ok\xFF"), "stream did not contain valid UTF-8"},
      {join_path(dir_, "missing.py"), "No such file or directory (os error 2)"},
      {join_path(dir_, "dangling.py"), "No such file or directory (os error 2)"},
      {join_path(dir_, "pkg.yaml"), "Is a directory (os error 21)"},
      // A named pipe without a writer would block a plain read for ever.
      {join_path(dir_, "pipe.py"), "Invalid argument (os error 22)"},
      // Opening the prefix before the NUL would read another file than the one named.
      {write("real.py", "x\n") + std::string("\0.py", 4), "file name contained an unexpected NUL byte"},
  };
  for (const Case& c : cases) {
    Result<std::string> text = read_utf8_file(c.path);
    ASSERT_FALSE(text.ok()) << c.path;
    EXPECT_EQ(text.error().message(), c.text) << c.path;
  }
}

TEST_F(ReadFile, RefusesFilesAboveTheLimitWithoutReadingThem) {
  const std::string path = write("big.py", std::string(100, 'x'));
  Result<std::string> refused = read_utf8_file(path, 99, "too big");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message(), "too big");
  EXPECT_TRUE(read_utf8_file(path, 100, "too big").ok());
}

// A file with more bytes than its status gave (here one that claims none at all) is read to its
// end, and the limit still holds for what comes after the status size.
TEST_F(ReadFile, ReadsPastTheStatusSizeWithinTheLimit) {
  const std::string path = "/proc/self/cmdline";
  Result<std::string> text = read_utf8_file(path);
  ASSERT_TRUE(text.ok()) << text.error().message();
  EXPECT_GT(text->size(), 4u);
  Result<std::string> refused = read_utf8_file(path, 4, "too big");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message(), "too big");
}

}  // namespace
}  // namespace detect
