// What only Chromium's entries have: the forms of their keys and of the response pickle.
#include <gtest/gtest.h>

#include <vector>

#include "sources/cache/CachedResponse.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "tests/support/ChromiumEntryWriter.h"

namespace tavimo {
namespace {

using test::ChromiumEntry;

const std::string kSite = "http://127.0.0.1:8765/";

std::optional<CachedResponse> Read(std::string_view bytes) {
  return ReadChromiumEntry(MemoryEntrySource(bytes));
}

TEST(ChromiumCacheEntry, WrittenEntriesReadBackInEveryForm) {
  struct Case {
    const char* name;
    ChromiumEntry e;
    std::string url;  // as read back
  };
  const std::string head = "HTTP/1.1 206 Partial\r\nContent-Type: x/y\r\nContent-Length: 3\r\n";
  const std::vector<Case> cases = {
      {"plain", {kSite + "a.swf", "", "abc", head, 1700000000, 1700000001}, kSite + "a.swf"},
      {"no checks", {kSite + "a.swf", "", "abc", head, 5, 6, false, false, false}, kSite + "a.swf"},
      {"no original time",
       {kSite + "a.swf", "", "abc", head, 5, 6, true, true, true, false},
       kSite + "a.swf"},
      {"empty body", {kSite + "a.swf", "", "", head, 1, 2}, kSite + "a.swf"},
      {"old key", {"", "1/0/http://h/x.swf", "abc", head, 1, 2}, "http://h/x.swf"},
      {"bare key", {"", "http://h/x.swf", "abc", head, 1, 2}, "http://h/x.swf"},
      {"subframe key", {"", "1/0/_dk_s_http://h http://h http://h/x.swf", "", head, 1, 2}, "http://h/x.swf"},
      {"long key", {std::string(5000, 'k'), "", "abc", head, 1, 2}, std::string(5000, 'k')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = test::ChromiumEntryBytes(c.e);
    const auto r = Read(bytes);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->url, c.url);
    EXPECT_EQ(r->head, head);
    EXPECT_EQ(r->status, 206);
    EXPECT_EQ(bytes.substr(r->bodyOffset, r->bodyLength), c.e.body);
    EXPECT_EQ(r->requestTime, c.e.requestTime);
    EXPECT_EQ(r->responseTime, c.e.responseTime);
    EXPECT_EQ(r->bodyCrc32.has_value(), c.e.bodyCrc);
  }
}

// Without the CRC and SHA-256 to catch them: what is not a whole HTTP response.
TEST(ChromiumCacheEntry, WhatIsNoWholeResponseIsNoEntry) {
  const auto entry = [](std::string key, std::string head, std::uint32_t flags = 0) {
    ChromiumEntry e{"", std::move(key), "abc", std::move(head), 1, 2, true, false, false};
    e.responseFlags = flags;
    return test::ChromiumEntryBytes(e);
  };
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  EXPECT_TRUE(Read(entry("http://h/a", ok)));
  EXPECT_EQ(Read(entry("http://h/a", ok, chromium::kResponseTruncated)), std::nullopt);
  EXPECT_EQ(Read(entry("http://h/a", "XTTP/1.1 200 OK\r\n")), std::nullopt);
  EXPECT_EQ(Read(entry("http://h/a", "HTTP/1.1 20 OK\r\n")), std::nullopt);
  EXPECT_EQ(Read(entry("http://h/a", "HTTP/1.1 2000\r\n")), std::nullopt);
  EXPECT_EQ(Read(entry("http://h/a", ok + "X-Forged: 1\nSet-Cookie: a=b\r\n")), std::nullopt);
  EXPECT_EQ(Read(entry("1/0/_dk_h h ", ok)), std::nullopt);  // no URL
}

TEST(ChromiumCacheEntry, KeysGiveTheirUrl) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1/0/_dk_http://a http://a http://a:1/x.swf", "http://a:1/x.swf"},
      {"1/0/http://a/x", "http://a/x"},
      {"12/345/http://a/x", "http://a/x"},
      {"http://a/x", "http://a/x"},
      {"1/http://a/x", "1/http://a/x"},
      {"1//x", "1//x"},
      {"", ""},
  };
  for (const auto& [key, url] : cases) EXPECT_EQ(chromium::UrlOfKey(key), url) << key;
}

}  // namespace
}  // namespace tavimo
