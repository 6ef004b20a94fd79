// parse_file and the texts of walk errors: the parse message of the first error with offsets
// from the start of the text (a BOM included), and a record whose tree stays valid wherever the
// record is moved.
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "detect/walk.h"
#include "pysyntax/parse.h"

namespace detect {
namespace {

// The parser lands in stages; until it accepts a plain statement these tests cannot say anything.
bool parser_ready() {
  pysyntax::Arena arena;
  return pysyntax::parse_module("pass\n", arena).ok();
}

TEST(ParseFile, ValidTextsKeepTheirTextAndStatements) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  struct Case {
    std::string text;
    std::uint32_t statements;
  };
  for (const Case& c : {Case{"", 0}, Case{"\xEF\xBB\xBF", 0}, Case{"\xEF\xBB\xBFx = 1\n", 1},
                        Case{"import os\n\ndef f():\n    pass\n", 2}}) {
    auto result = parse_file("p/a.py", c.text);
    ASSERT_TRUE(std::holds_alternative<ParsedFile>(result)) << c.text;
    const ParsedFile& file = std::get<ParsedFile>(result);
    EXPECT_EQ(file.path, "p/a.py");
    EXPECT_EQ(file.source_text(), c.text);
    EXPECT_EQ(file.statements.size(), c.statements) << c.text;
    EXPECT_EQ(file.module_range.end, c.text.size());
  }
}

// A short text lives inside its std::string; if the record held the string by value, moving the
// record would leave the tree's names pointing at the old place.
TEST(ParseFile, TheTreeSurvivesMovesOfTheRecord) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  std::vector<ParsedFile> files;
  for (int i = 0; i < 20; ++i) {
    auto result = parse_file("a.py", "xy\n");
    ASSERT_TRUE(std::holds_alternative<ParsedFile>(result));
    files.push_back(std::get<ParsedFile>(std::move(result)));
  }
  for (const ParsedFile& file : files) {
    ASSERT_EQ(file.statements.size(), 1u);
    const auto& name = file.statements[0]->as<pysyntax::ExprStmt>().value->as<pysyntax::Name>();
    EXPECT_EQ(name.id, "xy");
    EXPECT_EQ(name.id.data(), file.source_text().data());
  }
}

TEST(ParseFile, AFailureShowsOnlyTheFirstErrorWithOffsetsFromTheTextStart) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  struct Case {
    std::string text;
    std::string message;
  };
  for (const Case& c : {
           Case{"$", "ParseError { error: Lexical(InvalidCharacter), location: 0..1 }"},
           Case{"\xEF\xBB\xBF$", "ParseError { error: Lexical(InvalidCharacter), location: 3..4 }"},
           Case{"x = 1\n$ = 2\n$\n", "ParseError { error: Lexical(InvalidCharacter), location: 6..7 }"},
       }) {
    auto result = parse_file("p/c.py", c.text);
    ASSERT_TRUE(std::holds_alternative<WalkError>(result)) << c.text;
    const WalkError& error = std::get<WalkError>(result);
    EXPECT_EQ(error.kind, WalkError::Kind::ParseFailed);
    EXPECT_EQ(error.path, "p/c.py");
    EXPECT_EQ(error.detail, c.message) << c.text;
  }
}

TEST(DisplayWalkError, ShowsThePathAsTextAndTheDetailAsItStands) {
  struct Case {
    WalkError error;
    std::string text;
  };
  for (const Case& c : {
           Case{{WalkError::Kind::ReadFailed, "proj/a.py", "Permission denied (os error 13)"},
                "io error reading proj/a.py: Permission denied (os error 13)"},
           Case{{WalkError::Kind::ReadFailed, "proj/\xff\xfe.py", "stream did not contain valid UTF-8"},
                "io error reading proj/\uFFFD\uFFFD.py: stream did not contain valid UTF-8"},
           Case{{WalkError::Kind::ParseFailed, "proj/c.py", "ParseError { error: UnexpectedIndentation, location: 3..5 }"},
                "ruff parse error in proj/c.py: ParseError { error: UnexpectedIndentation, location: 3..5 }"},
       }) {
    EXPECT_EQ(display_walk_error(c.error), c.text);
  }
}

}  // namespace
}  // namespace detect
