#include <gtest/gtest.h>

#include <random>

#include "detect/MemoLines.h"
#include "tests/detect/ReferenceExtractor.h"

namespace tavimo {
namespace {

std::vector<std::string> Lines(const TMemoLines& memo) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < memo.Count(); ++i) out.emplace_back(memo[i]);
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

TMemoLines Loaded(const std::string& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  TMemoLines memo;
  memo.Add("left over");
  LoadMemoFromStream(memo, stream);  // the stream position (at its end) does not matter
  return memo;
}

TEST(MemoLines, BreaksAndNulBytes) {
  using V = std::vector<std::string>;
  const std::vector<std::pair<std::string, V>> cases = {
      {"", V{}},
      {"a", V{"a"}},
      {"a\r\n", V{"a"}},
      {"a\r\nb", V{"a", "b"}},
      {"a\n\rb", V{"a", "", "b"}},
      {"\r\r\n\n", V{"", "", ""}},
      {"a\rb\nc\r", V{"a", "b", "c"}},
      {std::string("ab\0cd\ne\0", 8), V{"ab", "e"}},
      {std::string("\0x\r\n", 4), V{""}},
  };
  for (const auto& [bytes, lines] : cases) {
    const TMemoLines memo = Loaded(bytes);
    EXPECT_EQ(Lines(memo), lines) << testing::PrintToString(bytes);
    EXPECT_EQ(memo.Text(), Joined(lines));
  }
}

TEST(MemoLines, RandomBytesGiveThePlainSplit) {
  std::mt19937 rng(11);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes(rng() % 24, 'x');
    for (char& c : bytes) c = std::string("ab\r\n\0", 5)[rng() % 5];
    const TMemoLines memo = Loaded(bytes);
    const auto expected = reference::MemoLines(bytes);
    ASSERT_EQ(Lines(memo), expected) << testing::PrintToString(bytes);
    ASSERT_EQ(memo.Text(), Joined(expected));
  }
}

TEST(MemoLines, AddAndClear) {
  TMemoLines memo;
  memo.Add("one");
  memo.Add("");
  memo.Add("two\r\nthree\n");
  EXPECT_EQ(Lines(memo), (std::vector<std::string>{"one", "", "two", "three", ""}));
  EXPECT_EQ(memo.Text(), "one\r\n\r\ntwo\r\nthree\r\n\r\n");
  EXPECT_THROW(memo[5], std::out_of_range);
  memo.Clear();
  EXPECT_EQ(memo.Count(), 0u);
  EXPECT_EQ(memo.Text(), "");
}

}  // namespace
}  // namespace tavimo
