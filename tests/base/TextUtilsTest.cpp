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

// Bytes above 0x7F (a UTF-8 sequence, or a letter of a Latin-1 locale) are never letters,
// digits or case pairs; the ranges end where ASCII says.
TEST(TextUtils, ByteClassesAreAsciiOnly) {
  for (int i = 0x80; i < 0x100; ++i) {
    const char c = static_cast<char>(i);
    ASSERT_TRUE(AsciiLower(c) == c && !IsAsciiAlnum(c) && AsciiHexValue(c) == -1) << i;
  }
  std::string alnum, hex;
  for (const char c : std::string_view("/09:@AFGZ[`afgz{")) {
    if (IsAsciiAlnum(c)) alnum += c;
    if (IsAsciiHexDigit(c)) hex += std::to_string(AsciiHexValue(c)) + " ";
  }
  EXPECT_EQ(alnum, "09AFGZafgz");
  EXPECT_EQ(hex, "0 9 10 15 10 15 ");
  EXPECT_FALSE(IsAsciiAlpha('5') || IsAsciiDigit('a'));
}

TEST(TextUtils, CaselessComparisons) {
  struct Row {
    std::string_view s, t;
    bool equals, startsWith;
  };
  const Row rows[] = {
      {"Content-Length", "content-length", true, true},
      {"<HTML><body>", "<html>", false, true},
      {"abc", "", false, true},
      {"ab", "abc", false, false},
      {"\xC3\x84", "\xC3\xA4", false, false},  // only ASCII letters fold
      {"[", "{", false, false},                // 0x5B and 0x7B differ by the case bit only
  };
  for (const Row& r : rows) {
    EXPECT_EQ(EqualsNoCase(r.s, r.t), r.equals) << r.s << " / " << r.t;
    EXPECT_EQ(StartsWithNoCase(r.s, r.t), r.startsWith) << r.s << " / " << r.t;
  }
}

TEST(TextUtils, TrimmingTakesOnlyTheNamedBlanks) {
  struct Row {
    std::string_view s, blanks, left, right, both;
  };
  const Row rows[] = {
      {" \t a b \t ", kSpaceTab, "a b \t ", " \t a b", "a b"},
      {"x\r", kSpaceTab, "x\r", "x\r", "x\r"},
      {"\r\n k=v \r\n", " \t\r\n", "k=v \r\n", "\r\n k=v", "k=v"},
      {"\t1 ", " ", "\t1 ", "\t1", "\t1"},
      {" \t ", kSpaceTab, "", "", ""},
      {"", kSpaceTab, "", "", ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(TrimLeft(r.s, r.blanks), r.left) << r.s;
    EXPECT_EQ(TrimRight(r.s, r.blanks), r.right) << r.s;
    EXPECT_EQ(Trim(r.s, r.blanks), r.both) << r.s;
  }
  EXPECT_EQ(TrimControls(std::string_view("\x01\x1f Games\x7f \0", 11)), "Games\x7f");
  EXPECT_EQ(TrimControls("\xC3\xA4 "), "\xC3\xA4");  // bytes above the space are kept
  EXPECT_EQ(TrimControls(" \n\t"), "");
}

// Lines end at CR, LF or CR LF; a break at the end starts no further line.
TEST(TextUtils, NextLineTakesLinesAsAWindowsProgramReadsThem) {
  struct Row {
    std::string_view text;
    std::vector<std::string_view> lines;
  };
  const Row rows[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"\n\r", {"", ""}},
      {"\n\r\n", {"", ""}},
      {"x", {"x"}},
      {"", {}},
  };
  for (const Row& r : rows) {
    std::vector<std::string_view> lines;
    for (std::string_view rest = r.text; !rest.empty();) lines.push_back(NextLine(rest));
    EXPECT_EQ(lines, r.lines) << r.text;
  }
  std::string_view empty;
  EXPECT_EQ(NextLine(empty), "");
  EXPECT_TRUE(empty.empty());
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
