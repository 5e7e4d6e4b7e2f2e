#include <gtest/gtest.h>

#include <random>

#include "base/TextUtils.h"
#include "tests/detect/ReferenceExtractor.h"

namespace tavimo {
namespace {

TEST(TextUtils, LastPosIgnoresTextsShorterThanTwo) {
  EXPECT_EQ(LastPos('a', "a"), 0u);
  EXPECT_EQ(LastPos('a', ""), 0u);
  EXPECT_EQ(LastPos('a', "ab"), 1u);
  EXPECT_EQ(LastPos('/', "a/b/"), 4u);
  EXPECT_EQ(LastPos('q', "xyz"), 0u);
}

TEST(TextUtils, CountOfCountsNonOverlappingFromTheLeft) {
  EXPECT_EQ(CountOf("aa", "aaaa"), 2u);
  EXPECT_EQ(CountOf("aa", "aaa"), 1u);
  EXPECT_EQ(CountOf("x", ""), 0u);
  EXPECT_EQ(CountOf("", "abc"), 0u);
  EXPECT_EQ(CountOf(".swf", "a.swf.SWF.swf"), 2u);
}

TEST(TextUtils, LastPosAndCountOfMatchThePlainVersionsOnRandomTexts) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string s(rng() % 12, 'a');
    for (char& c : s) c = "ab/"[rng() % 3];
    const std::string t(1 + rng() % 3, "ab"[rng() % 2]);
    ASSERT_EQ(LastPos('/', s), reference::LastPos('/', s)) << s;
    ASSERT_EQ(CountOf(t, s), reference::CountOf(t, s)) << t << " in " << s;
  }
}

TEST(TextUtils, LowerCasingTouchesAsciiLettersOnly) {
  EXPECT_EQ(AsciiLowerCopy("A.SWF \xC3\x84Z@[`{"), "a.swf \xC3\x84z@[`{");
}

TEST(TextUtils, FindNoCaseWithAndWithoutACaselessAnchor) {
  EXPECT_EQ(FindNoCase("x.SwF.swf", ".swf"), 1u);
  EXPECT_EQ(FindNoCase("x.SwF.swf", ".swf", 2), 5u);
  EXPECT_EQ(FindNoCase("a.sw", ".swf"), std::string_view::npos);
  EXPECT_EQ(FindNoCase("<a SRC", "src"), 3u);
  EXPECT_EQ(FindNoCase("sr", "src"), std::string_view::npos);
  EXPECT_EQ(FindNoCase("abc", "src", 9), std::string_view::npos);
  EXPECT_EQ(FindNoCase("x FullScreen=\"YES\"", "fullscreen=\"yes\""), 2u);
}

// The searches test 16 positions at a time; needles at every offset and near the end of texts
// of every length around that block size must still be found, and found first.
TEST(TextUtils, FindersAgreeWithAPlainSearchAtEveryOffset) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    std::string hay(rng() % 70, 'x');
    for (char& c : hay) c = ".sSwWfF=\"yY"[rng() % 11];
    const std::string lower = AsciiLowerCopy(hay);
    std::vector<std::size_t> expected;
    for (std::size_t at = lower.find(".swf"); at != std::string::npos; at = lower.find(".swf", at + 4)) {
      expected.push_back(at);
    }
    const std::size_t from = rng() % 8;
    ASSERT_EQ(FindNoCase(hay, ".swf", from), lower.find(".swf", from)) << hay;
    std::vector<std::size_t> found;
    const bool complete = FindAllNoCase(hay, ".swf", "w=\"y", found);
    ASSERT_EQ(complete, lower.find("w=\"y") == std::string::npos) << hay;
    if (complete) {
      ASSERT_EQ(found, expected) << hay;
    }
  }
}

TEST(TextUtils, ListOrderIsAsciiCaseFoldedByteOrder) {
  EXPECT_EQ(CompareTextAscii("ABC", "abc"), 0);
  EXPECT_LT(CompareTextAscii("a", "B"), 0);
  EXPECT_LT(CompareTextAscii("_", "a"), 0);  // folded to lower case, so "_" sorts before letters
  EXPECT_GT(CompareTextAscii("Z", "_"), 0);
  EXPECT_LT(CompareTextAscii("z", "\xC3\xA9"), 0);  // bytes compare unsigned
  EXPECT_LT(CompareTextAscii("ab", "abc"), 0);
}

}  // namespace
}  // namespace tavimo
