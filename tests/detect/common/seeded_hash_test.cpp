// Seeded text tables: lookups by view, replacing writes, and first-insertion iteration order.
#include <gtest/gtest.h>

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

// Lookups skip hashing for lengths no key has (counted modulo 64): keys whose lengths share a
// residue must all still be found, and absent keys of those lengths must not be.
TEST(TextMap, KeysOfLengthsThatShareAResidue) {
  HashSeeds seeds;
  TextMap<int> map(seeds.next());
  const std::string long_key(64, 'a'), longer_key(129, 'b');
  EXPECT_FALSE(map.contains(""));
  EXPECT_TRUE(map.try_insert(long_key, 64));
  EXPECT_FALSE(map.contains(""));
  EXPECT_FALSE(map.contains(std::string(128, 'a')));
  map.insert_or_assign("x", 1);
  EXPECT_TRUE(map.try_insert(longer_key, 129));
  EXPECT_FALSE(map.contains("y"));
  ASSERT_NE(map.find(long_key), nullptr);
  EXPECT_EQ(*map.find(long_key), 64);
  ASSERT_NE(map.find(longer_key), nullptr);
  EXPECT_EQ(*map.find(longer_key), 129);
  EXPECT_EQ(*map.find("x"), 1);
  EXPECT_FALSE(map.try_insert("x", 2));
}

}  // namespace
}  // namespace detect
