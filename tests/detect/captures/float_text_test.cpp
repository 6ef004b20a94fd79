// The float text of keyword values: shortest round-trip digits, positional between 1e-4 and 1e16.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "captures/captures.h"

namespace detect {
namespace {

TEST(FloatText, PositionalInsideTheRangeScientificOutside) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.7, "0.7"},
      {2.0, "2.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.0001, "0.0001"},
      {100000.0, "100000.0"},
      {123.456, "123.456"},
      {1e15, "1000000000000000.0"},
      {9007199254740993.0, "9007199254740992.0"},  // rounds to 2^53: sixteen digits, still positional
      {1e16, "1e16"},
      {1.5e17, "1.5e17"},
      {1e-5, "1e-5"},
      {1.5e-5, "1.5e-5"},
      {0.000099, "9.9e-5"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e308"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    append_float_text(c.value, out);
    EXPECT_EQ(out, std::string("x") + c.text) << c.text;
  }
}

}  // namespace
}  // namespace detect
