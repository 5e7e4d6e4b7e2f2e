#include <gtest/gtest.h>

#include "detect/LinkExtractor.h"
#include "tests/detect/ReferenceExtractor.h"

namespace tavimo {
namespace {

using Links = std::vector<std::string>;

void ExpectFrames(const char* address, const std::string& text, const Links& expected) {
  const Links fast = ExtractFrameLinks(text, address);
  EXPECT_EQ(fast, expected) << address << " | " << text;
  EXPECT_EQ(fast, reference::FrameLinks(text, address)) << address << " | " << text;
}

constexpr const char* kPage = "http://host/dir/page.htm";

TEST(FrameLinks, SourcesResolveAgainstThePageFolder) {
  ExpectFrames(kPage, "<iframe src = \"ads/top.htm\">", {"http://host/dir/ads/top.htm"});
  ExpectFrames("http://Host/Dir/page.htm", "<IFRAME SRC = \"Ads/Top.htm\">", {"http://Host/Dir/Ads/Top.htm"});
  ExpectFrames(kPage, "<iframe src=\"\">", {"http://host/dir/"});
  ExpectFrames("http://host", "<iframe src='a.htm'>", {"http://host/a.htm"});
  ExpectFrames("host", "<iframe src='a.htm'>", {"a.htm"});
  ExpectFrames("http://host/d/p?u=/q/r", "<iframe src='a.htm'>", {"http://host/d/a.htm"});
  ExpectFrames(kPage, "<iframe src=\" a\r\n.htm \r\n\">", {"http://host/dir/a.htm"});
  ExpectFrames(kPage, "<iframe src='WWW.x.org/f.htm'><iframe src=\"https://y/g\">",
               {"WWW.x.org/f.htm", "https://y/g"});
}

TEST(FrameLinks, NetworkAndRootPaths) {
  ExpectFrames("HTTPS://Host/dir/p.htm?q=http://z", "<iframe src='//cdn/f.htm'>", {"HTTPS://cdn/f.htm"});
  ExpectFrames("host/dir/p.htm", "<iframe src='//cdn/f.htm'>", {"http://cdn/f.htm"});
  ExpectFrames("https://Host/dir/p.htm?q=/z", "<iframe src='/www/f.htm'>", {"https://Host/www/f.htm"});
  ExpectFrames("host/dir/p.htm", "<iframe src='/f.htm'>", {"host/f.htm"});
}

TEST(FrameLinks, QuotesAndOddTags) {
  // Unquoted: the first character is lost and the end is the next quote of the last kind seen.
  ExpectFrames(kPage, "<iframe src=xads.htm' width=1>", {"http://host/dir/ads.htm"});
  ExpectFrames(kPage, "<iframe src=\"a.htm\"><iframe src=xb.htm\">",
               {"http://host/dir/a.htm", "http://host/dir/b.htm"});
  // Plain frames are not followed.
  ExpectFrames(kPage, "<frame src=\"a.htm\"><frameset>", {});
  // The text ends inside the tag, or the source never closes: nothing, and the scan goes on.
  ExpectFrames(kPage, "<iframe src=", {});
  ExpectFrames(kPage, "<iframe", {});
  ExpectFrames(kPage, "<iframe src=\"a.htm", {});
  ExpectFrames(kPage, "<iframe src=a.htm> <iframe src=\"b.htm\">", {"http://host/dir/b.htm"});
  // "src" is taken wherever it stands next, even beyond the next tag.
  ExpectFrames(kPage, "<iframe id=1><iframe src='a.htm'>", {"http://host/dir/a.htm"});
  ExpectFrames(kPage, "<iframe src<iframe=\"a\" src=\"b\">", {"http://host/dir/b"});
}

TEST(FrameLinks, OrderAndDuplicates) {
  ExpectFrames(kPage, "<iframe src='c'><iframe src='A'><iframe src='b'><iframe src='a'>",
               {"http://host/dir/A", "http://host/dir/b", "http://host/dir/c"});
  ExpectFrames(kPage, "<iframe src='c'><iframe src='a'><iframe src='b'>",
               {"http://host/dir/a", "http://host/dir/c", "http://host/dir/b"});
}

}  // namespace
}  // namespace tavimo
