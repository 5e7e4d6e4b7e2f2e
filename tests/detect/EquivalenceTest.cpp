#include <gtest/gtest.h>

#include <random>

#include "detect/LinkExtractor.h"
#include "detect/MemoLines.h"
#include "tests/detect/ReferenceExtractor.h"

namespace tavimo {
namespace {

// Pieces that steer the scanners into their branches; random mixes of them make the pages.
const std::vector<std::string> kPieces = {"\"",  "\"",      "'",        "'",       " ",        "  ",   "\r\n",
                                          "\n",  "\r",      "\t",       ".swf",    ".swf",     ".SWF", ".Swf",
                                          "www", "WWW.",    "://",      "http://", "HTTPS://", "?",    "/",
                                          "//",  "<iframe", "<IFRAME ", "src",     "SRC",      "=",    "a",
                                          "B",   "x.y",     "\xC3\xA9", "<frame"};

std::string RandomPage(std::mt19937& rng) {
  std::string page;
  if (rng() % 40 == 0) page += "fullscreen=\"yes\"";
  const int pieces = static_cast<int>(rng() % 40);
  for (int i = 0; i < pieces; ++i) {
    page += kPieces[rng() % kPieces.size()];
    if (i == pieces / 2 && rng() % 40 == 0) page += "FullScreen=\"YES\"";
  }
  return page;
}

std::string RandomAddress(std::mt19937& rng) {
  static const char* schemes[] = {"", "", "http://", "https://", "HTTP://", "Https://", "ftp://"};
  static const char* hosts[] = {"host", "Host.Example", "", "www.h"};
  static const char* paths[] = {"", "/", "/dir/", "/dir/page.htm", "/A/b", "//x/", "/d\r\ni\tr/"};
  static const char* queries[] = {"", "", "?id=3", "?u=/x/y", "?q=http://z/w", "?"};
  std::string a = std::string(schemes[rng() % 7]) + hosts[rng() % 4] + paths[rng() % 7] + queries[rng() % 6];
  if (rng() % 5 == 0) a += "/";
  return a;
}

TEST(Equivalence, RandomPagesGiveTheSameLinksAsThePlainVersion) {
  std::mt19937 rng(2026);
  for (int i = 0; i < 100000; ++i) {
    const std::string page = RandomPage(rng), address = RandomAddress(rng);
    ASSERT_EQ(SwfLinkList(page, address), reference::SwfLinkList(page, address))
        << testing::PrintToString(address) << " | " << testing::PrintToString(page);
    ASSERT_EQ(ExtractFrameLinks(page, address), reference::FrameLinks(page, address))
        << testing::PrintToString(address) << " | " << testing::PrintToString(page);
  }
}

// Links that share long beginnings, differ only in case, end inside one another or hold NUL
// bytes: the list order must still be the plain case-folded byte order.
TEST(Equivalence, LinksWithSharedBeginningsSortLikeThePlainVersion) {
  std::mt19937 rng(9);
  const std::string alphabet("aAb_\xC3\0", 6);
  for (int page = 0; page < 100; ++page) {
    std::string text;
    for (int ref = 0; ref < 60; ++ref) {
      std::string name(rng() % 90, 'a');
      for (std::size_t i = name.size() / 2; i < name.size(); ++i) name[i] = alphabet[rng() % alphabet.size()];
      text += "'" + name + ".swf' ";
    }
    ASSERT_EQ(SwfLinkList(text, "http://h/"), reference::SwfLinkList(text, "http://h/")) << page;
  }
}

// About 10 MB of page text with a few dozen movies and frames spread through it, sent
// through the memo the way a scan pass does.
std::string BigPageText(std::mt19937& rng, bool fullscreen) {
  std::string bytes;
  const std::size_t target = 10u << 20;
  bytes.reserve(target + 4096);
  int line = 0;
  while (bytes.size() < target) {
    const unsigned r = rng() % 20000;
    if (r < 1) bytes += "<embed src=\"Movies/M" + std::to_string(rng() % 50) + ".SWF\" >";
    else if (r < 2) bytes += "<param value='//cdn.x/" + std::to_string(rng() % 9) + ".swf'>";
    else if (r < 3) bytes += "<IFRAME SRC = \"fr/" + std::to_string(rng() % 9) + ".htm\"></iframe>";
    else if (r < 4) bytes += "<a href=\"x.swf?v=1\">/root.swf  '";
    else if (r < 4000) bytes += kPieces[rng() % 10];  // quotes and blanks
    bytes += "<p class=\"t\">Text of line " + std::to_string(++line) + " with words.</p>";
    if (line == 500 && fullscreen) bytes += " fullscreen=\"yes\" ";
    bytes += (line % 7 == 0) ? "\n" : "\r\n";
  }
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  TMemoLines memo;
  LoadMemoFromStream(memo, stream);
  return memo.Text();
}

TEST(Equivalence, TenMegabytePages) {
  std::mt19937 rng(5);
  for (const bool fullscreen : {false, true}) {
    const std::string text = BigPageText(rng, fullscreen);
    const std::string address = "https://Host.example/dir/page.htm?id=1";
    const auto links = SwfLinkList(text, address);
    EXPECT_EQ(links, reference::SwfLinkList(text, address));
    EXPECT_EQ(ExtractFrameLinks(text, address), reference::FrameLinks(text, address));
    if (!fullscreen) {
      EXPECT_GT(links.size(), 10u);
    }
  }
}

}  // namespace
}  // namespace tavimo
