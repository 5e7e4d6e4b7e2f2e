// The client's URL splitting, Base64, request date and relative-location resolution.
#include "net/Buffer.h"
#include "net/HttpUrl.h"

#include <gtest/gtest.h>

namespace tavimo {
namespace {

std::string Parts(const std::string& url) {
  const TUrlParts p = ParseURL(url);
  return p.Proto + "|" + p.User + "|" + p.Pass + "|" + p.Host + "|" + p.Port + "|" + p.Path;
}

TEST(HttpUrl, ParseURLFollowsTheClientsRules) {
  EXPECT_EQ(Parts(""), "|||||");
  EXPECT_EQ(Parts("http://host/"), "http|||host||/");
  EXPECT_EQ(Parts("http://host:8080/a/b.swf?x=1"), "http|||host|8080|/a/b.swf?x=1");
  EXPECT_EQ(Parts("https://u:p@host:81/x"), "https|u|p|host|81|/x");
  EXPECT_EQ(Parts("ftp://u@host"), "ftp|u||host||");
  EXPECT_EQ(Parts("http://u:p@host/x"), "http|u|p|host||/x");
  EXPECT_EQ(Parts("/abs/path"), "http|||||/abs/path");
  EXPECT_EQ(Parts("//host/p"), "http|||||/host/p");
  EXPECT_EQ(Parts("HTTP:relative"), "http|||||relative");
  EXPECT_EQ(Parts("http:/host/p"), "http|||||/host/p");
  EXPECT_EQ(Parts("mailto:someone@host"), "mailto|someone||host||");
  EXPECT_EQ(Parts("www.site.com/dir/f.swf"), "|||www.site.com||/dir/f.swf");
  EXPECT_EQ(Parts("host:99"), "|||host|99|");
}

TEST(HttpUrl, Base64AndDate) {
  EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(RFC1123Date(0), "Sat, 30 Dec 1899 00:00:00");
  EXPECT_EQ(RFC1123Date(36526.75), "Sat, 01 Jan 2000 18:00:00");
  EXPECT_EQ(RFC1123Date(45000 + 3723.0 / 86400), "Wed, 15 Mar 2023 01:02:03");
  EXPECT_EQ(RFC1123Date(45351), "Thu, 29 Feb 2024 00:00:00");
}

TEST(HttpUrl, RelativeLocationsResolveAgainstTheCurrentUrl) {
  const std::string base = "http://h:81/a/b/c.htm?q=1";
  EXPECT_EQ(ResolveRelativeUrl(base, "d.swf"), "http://h:81/a/b/d.swf");
  EXPECT_EQ(ResolveRelativeUrl(base, "../d.swf"), "http://h:81/a/d.swf");
  EXPECT_EQ(ResolveRelativeUrl(base, "../../../d.swf"), "http://h:81/d.swf");
  EXPECT_EQ(ResolveRelativeUrl(base, "./x/./y/"), "http://h:81/a/b/x/y/");
  EXPECT_EQ(ResolveRelativeUrl(base, "?r=2"), "http://h:81/a/b/c.htm?r=2");
  EXPECT_EQ(ResolveRelativeUrl(base, "sub/e.htm?z=../x"), "http://h:81/a/b/sub/e.htm?z=../x");
  EXPECT_EQ(ResolveRelativeUrl("https://h/x", "//other/p"), "https://other/p");
  EXPECT_TRUE(IsAbsoluteUrl("https://h/x"));
  EXPECT_FALSE(IsAbsoluteUrl("a/b://c"));
  EXPECT_FALSE(IsAbsoluteUrl("x.htm"));
  EXPECT_EQ(EncodeUnsafeUrlBytes("/a b\r\n\x7f\xc3\xa9?x=%41"), "/a%20b%0D%0A%7F%C3%A9?x=%41");
}

TEST(TBuffer, WritePeekRemoveAndReuse) {
  TBuffer b(0);
  EXPECT_EQ(b.Size(), 1514);
  const std::string data(2000, 'q');
  EXPECT_EQ(b.Write(data.data(), 2000), 1514);
  EXPECT_EQ(b.Write(data.data(), 10), 0);
  int len = 0;
  b.Peek(len);
  EXPECT_EQ(len, 1514);
  EXPECT_EQ(b.Remove(14), 14);
  b.Peek(len);
  EXPECT_EQ(len, 1500);
  EXPECT_EQ(b.Write("x", 1), 0);  // still full until everything written was read
  EXPECT_EQ(b.Remove(5000), 1500);
  EXPECT_EQ(b.Write("xyz", 3), 3);  // reused from its start
  const char* p = b.Peek(len);
  EXPECT_EQ(std::string(p, static_cast<std::size_t>(len)), "xyz");
  b.SetSize(2);
  p = b.Peek(len);
  EXPECT_EQ(std::string(p, static_cast<std::size_t>(len)), "xy");
}

}  // namespace
}  // namespace tavimo
