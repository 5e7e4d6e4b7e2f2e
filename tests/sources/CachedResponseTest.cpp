// The shared table of hostile answers as a browser cache keeps them (the final head, the body
// with its transfer coding undone), read back from an entry file: the same verdict as every
// other reader. A cached copy is the movie only when its length holds and its coding undoes.
#include <gtest/gtest.h>

#include "sources/cache/CachedResponse.h"
#include "tests/support/FirefoxEntryWriter.h"
#include "tests/support/HttpAnswers.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

class CachedResponseTable : public ::testing::TestWithParam<test::HttpAnswer> {};

TEST_P(CachedResponseTable, SameVerdictAsOnTheWire) {
  const test::HttpAnswer& a = GetParam();
  test::FirefoxEntry entry;
  ASSERT_TRUE(test::SplitAnswer(a.bytes, entry.head, entry.body));
  test::TempDir dir;
  const std::string path = test::WriteFirefoxEntry(dir.Path(), entry);
  FileEntrySource source(path);
  const std::optional<CachedResponse> r = ReadFirefoxEntry(source);
  ASSERT_TRUE(r);
  std::string body, error;
  const bool whole = IsWholeContent(*r) && ReadDecodedBody(
                                               source, *r,
                                               [&body](const char* data, std::size_t n) {
                                                 body.append(data, n);
                                                 return true;
                                               },
                                               error);
  EXPECT_EQ(whole, a.whole) << error;
  if (a.whole) {
    EXPECT_EQ(body, a.body);
  } else if (!error.empty()) {
    EXPECT_NE(error.find(a.reason), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CachedResponseTable, ::testing::ValuesIn(test::CachedHttpAnswers()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace tavimo
