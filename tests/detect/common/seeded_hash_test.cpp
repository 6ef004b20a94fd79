// Seeded text tables: lookups by view, replacing writes, and first-insertion iteration order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/seeded_hash.h"

namespace detect {
namespace {

TEST(SeededHash, KeysChangeTheHashButNotEquality) {
  HashSeeds seeds;
  const HashKey a = seeds.next();
  const HashKey b = seeds.next();
  EXPECT_EQ(siphash13(a, "langgraph"), siphash13(a, "langgraph"));
  EXPECT_NE(siphash13(a, "langgraph"), siphash13(b, "langgraph"));
  // Every tail length takes the final-block path.
  for (std::size_t n = 0; n < 17; ++n) {
    const std::string s(n, 'x');
    EXPECT_NE(siphash13(a, s), siphash13(a, s + "y")) << n;
  }
}

TEST(OrderedTextMap, KeepsFirstInsertionPlaceOnReplace) {
  HashSeeds seeds;
  OrderedTextMap<float> map(seeds.next());
  map.insert_or_assign("import:b", 0.5f);
  map.insert_or_assign("import:a", 0.25f);
  map.insert_or_assign("import:b", 0.75f);
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.entries()[0].first, "import:b");
  EXPECT_EQ(map.entries()[0].second, 0.75f);
  EXPECT_EQ(map.entries()[1].first, "import:a");
  // Many short keys force reallocation of the entry vector; every lookup must still hit.
  for (int i = 0; i < 1000; ++i) map.insert_or_assign(std::to_string(i), static_cast<float>(i));
  for (int i = 0; i < 1000; ++i) {
    const float* v = map.find(std::to_string(i));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, static_cast<float>(i));
  }
}

TEST(TextMap, FindsByViewAndReplaces) {
  HashSeeds seeds;
  TextMap<std::string> map(seeds.next());
  map.insert_or_assign("np", "numpy");
  map.insert_or_assign("np", "numpy.linalg");
  EXPECT_FALSE(map.try_insert("np", "x"));
  ASSERT_NE(map.find(std::string_view("np")), nullptr);
  EXPECT_EQ(*map.find("np"), "numpy.linalg");
  EXPECT_EQ(map.find(""), nullptr);
  map.insert_or_assign("", "empty key is a key like any other");
  EXPECT_NE(map.find(""), nullptr);
}

// Lookups skip hashing for texts whose filter slot (from length, first and last byte) no key
// has set: every key must still be found, also among keys sharing those three, and no text that
// differs from all keys may be, also where its slot is set by keys alike in all three.
TEST(TextMap, KeysAlikeInLengthAndEnds) {
  HashSeeds seeds;
  TextMap<int> map(seeds.next());
  EXPECT_FALSE(map.contains(""));
  auto framed = [](char end, const std::string& middle) { return std::string(1, end).append(middle).append(1, end); };
  std::vector<std::string> keys{std::string(64, 'a'), std::string(129, 'b'), "x", framed('a', std::string(62, 'z'))};
  for (const char middle : std::string("abcdfghij")) keys.push_back(std::string("s").append(1, middle).append("lf"));
  for (int i = 0; i < 300; ++i) keys.push_back(std::string("k").append(std::to_string(i * 7919)).append("\xff"));
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_TRUE(map.try_insert(keys[i], static_cast<int>(i)));
  EXPECT_FALSE(map.contains(""));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_NE(map.find(keys[i]), nullptr) << keys[i];
    EXPECT_EQ(*map.find(keys[i]), static_cast<int>(i));
    EXPECT_FALSE(map.try_insert(keys[i], -1));
  }
  for (const std::string& absent : {std::string(128, 'a'), std::string("y"), std::string("self"), std::string("sllf"),
                                     std::string(64, 'b'), framed('a', std::string(62, 'y')), std::string("k1\xff")})
    EXPECT_FALSE(map.contains(absent)) << absent;
  map.insert_or_assign("", 7);
  ASSERT_NE(map.find(""), nullptr);
  EXPECT_EQ(*map.find(""), 7);
}

}  // namespace
}  // namespace detect
