// The URL cache store over the browsers' own cache files, laid out as they are on a user's
// machine (several profiles, a cut and a damaged copy among them), and Tavimo's own download
// cache beside them: the listing, the lookup of one URL, the copies of bodies, freshness.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "sources/cache/CacheFreshness.h"
#include "base/http/HttpHead.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "sources/cache/DownloadCache.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/support/BrowserCacheHome.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

namespace fs = std::filesystem;
const std::string kSite = "http://127.0.0.1:8765/";

// Every file of the folders below the cache home: size, time and bytes.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    ::stat(e.path().c_str(), &st);
    out[e.path()] = std::to_string(st.st_mtim.tv_nsec) + ":" + test::ReadFile(e.path());
  }
  return out;
}

// No temporary file beside a target of the folder.
std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().find(".part") != std::string::npos) out.push_back(e.path());
  }
  return out;
}

class UrlCacheStoreTest : public ::testing::Test {
 protected:
  test::BrowserCacheHome home_{TAVIMO_BROWSER_SAMPLES};
  UrlCacheStore store_;
};

TEST_F(UrlCacheStoreTest, ListsTheWholeSuccessfulResponsesWithTheirFilter) {
  std::vector<std::string> all, movies;
  UrlCacheListing listing = store_.Entries();
  while (const std::optional<UrlCacheEntry> e = listing.Next()) all.push_back(e->url);
  const auto isMovie = [](const std::string& url) { return url.ends_with(".swf"); };
  UrlCacheListing filtered = store_.Entries(isMovie);
  while (const std::optional<UrlCacheEntry> e = filtered.Next()) movies.push_back(e->url);
  // Chromium: c, b?v=1, a, e, frame; Firefox 153 the same five; Firefox 140 c and e.
  EXPECT_EQ(all.size(), 12u);
  std::vector<std::string> expected;
  std::copy_if(all.begin(), all.end(), std::back_inserter(expected), isMovie);  // in the same order
  EXPECT_EQ(movies, expected);
  EXPECT_EQ(movies.size(), 8u);  // c three times, a twice, e three times
}

TEST_F(UrlCacheStoreTest, BodiesComeDecodedAndTheBrowsersFilesStayUntouched) {
  const auto before = Snapshot(home_ / "cache");
  // "b.swf" as the cache search lists "b.swf?v=1": found by the same cut, newest first.
  const std::vector<CachedResponse> b = store_.Find(kSite + "b.swf", true);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_GE(b[0].responseTime, b[1].responseTime);
  EXPECT_TRUE(store_.Find(kSite + "b.swf", false).empty());
  const std::vector<CachedResponse> e = store_.Find(kSite + "e.swf", false);
  ASSERT_EQ(e.size(), 3u);
  for (const CachedResponse& r : e) {
    std::string error;
    const std::string target = home_ / "e.swf";
    std::uint64_t copied = 0;
    ASSERT_TRUE(store_.CopyBody(r, target, error, &copied)) << error;
    EXPECT_EQ(copied, 60008u);
    EXPECT_EQ(test::ReadFile(target).substr(0, 3), "FWS");
    ASSERT_TRUE(store_.EnsureLocalFile(r, error)) << error;
    EXPECT_EQ(test::ReadFile(UrlCacheStore::LocalFileFor(r)), test::ReadFile(target));
  }
  UrlCacheListing listing = store_.Entries();
  while (listing.Next()) {
  }
  auto after = Snapshot(home_ / "cache");
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.find("/tavimo/extracted/") != std::string::npos ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, before);
}

TEST_F(UrlCacheStoreTest, OwnDownloadCacheKeepsWholeDownloadsWithinItsBound) {
  const std::string folder = DownloadCacheFolder();
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 5\r\nCache-Control: max-age=60";
  std::string error;
  for (int i = 0; i < 3; ++i) {
    const std::string saved = home_ / ("m" + std::to_string(i) + ".swf");
    test::WriteFile(saved, std::string(400, static_cast<char>('a' + i)));
    ASSERT_TRUE(StoreDownload(folder, "http://h/m" + std::to_string(i) + ".swf", head, saved, 1000, error))
        << error;
    std::vector<CachedResponse> found = store_.Find("http://h/m" + std::to_string(i) + ".swf", false);
    ASSERT_EQ(found.size(), 1u) << i;
    EXPECT_EQ(found[0].kind, CacheKind::Tavimo);
    EXPECT_EQ(HttpHeaderValue(found[0].head, "Content-Length"), "400");
    EXPECT_EQ(ContentEncodingOf(found[0].head), "");  // the body is kept decoded
  }
  // 1200 bytes against a bound of 1000: the oldest left.
  EXPECT_TRUE(store_.Find("http://h/m0.swf", false).empty());
  EXPECT_EQ(store_.Find("http://h/m2.swf", false).size(), 1u);
  // A saved file edited afterwards is no longer an answer; a URL with a line break is refused.
  test::WriteFile(home_ / "m2.swf", "edited by the user");
  EXPECT_TRUE(store_.Find("http://h/m2.swf", false).empty());
  EXPECT_FALSE(StoreDownload(folder, "http://h/a\r\nb.swf", head, home_ / "m1.swf", 1000, error));
}

TEST_F(UrlCacheStoreTest, OnlyMoviesAreDecodedForTheirSizeAndNeverPastTheLimit) {
  const std::string big(200000, 'x'), small(5000, 'y');
  const struct {
    std::string url, body, headers;
    std::optional<std::uint64_t> size;  // nothing: not listed
  } cases[] = {
      {"http://p/script.js", test::Deflate(big), "Content-Encoding: deflate\r\n", kUnknownEntrySize},
      {"http://p/m.swf?v=2", test::Deflate(small), "Content-Encoding: deflate\r\n", 5000},
      {"http://p/big.swf", test::Deflate(big), "Content-Encoding: deflate\r\n", kUnknownEntrySize},
      {"http://p/broken.swf", "not deflate", "Content-Encoding: deflate\r\n", kUnknownEntrySize},
      {"http://p/g.swf", test::Gzip(big), "Content-Encoding: gzip\r\n", 200000},
      {"http://p/plain.js", small, "Content-Length: 5000\r\n", 5000},
      // A body shorter than its Content-Length is no copy of the file.
      {"http://p/short.swf", small, "Content-Length: 5001\r\n", std::nullopt},
      {"http://p/short-gzip.swf", test::Gzip(small).substr(0, 100),
       "Content-Encoding: gzip\r\nContent-Length: 120\r\n", std::nullopt},
  };
  for (const auto& c : cases) ASSERT_FALSE(home_.Plant(c.url, c.body, c.headers).empty()) << c.url;
  store_.MaxMovieBytes = 100000;
  std::map<std::string, std::uint64_t> sizes;
  UrlCacheListing listing = store_.Entries();
  while (const std::optional<UrlCacheEntry> e = listing.Next()) sizes[e->url] = e->size;
  for (const auto& c : cases) {
    const auto it = sizes.find(c.url);
    ASSERT_EQ(it != sizes.end(), c.size.has_value()) << c.url;
    if (c.size) {
      EXPECT_EQ(it->second, *c.size) << c.url;
    } else {
      EXPECT_TRUE(store_.Find(c.url, false).empty()) << c.url;
    }
  }
}

TEST_F(UrlCacheStoreTest, CopiesStopAtTheLimitAndFallBackToAnOlderIntactEntry) {
  const std::string target = home_ / "m.swf";
  const std::string movie(60000, 'm');
  store_.MaxMovieBytes = 100000;
  home_.Plant("http://p/bomb.swf", test::Gzip(std::string(100001, 'b')), "Content-Encoding: gzip\r\n");
  // The same URL twice: the newer copy damaged on disk after it was written (its CRC-32 no
  // longer matches), the older intact.
  home_.Plant("http://p/m.swf", movie, "", 1796629100);
  test::ChromiumEntry newest{.url = "http://p/m.swf", .key = "1/0/http://p/m.swf", .body = movie};
  newest.requestTime = newest.responseTime = 1796629200;
  const std::string file = test::WriteChromiumEntry(home_.ChromiumFolder(), newest);
  ASSERT_FALSE(file.empty());
  std::string bytes = test::ReadFile(file);
  bytes[chromium::kHeaderSize + newest.key.size() + 30000] ^= 1;
  test::WriteFile(file, bytes);

  struct Case {
    const char* name;
    std::vector<CachedResponse> entries;
    bool ok;
    std::string expected;  // the target afterwards
    std::string reason;    // the start of the error
  };
  test::WriteFile(target, "older file");
  const std::vector<CachedResponse> all = store_.Find("http://p/m.swf", false);
  ASSERT_EQ(all.size(), 2u);
  const Case cases[] = {
      {"past the limit", store_.Find("http://p/bomb.swf", false), false, "older file",
       "the movie is larger than the limit of 100000 bytes"},
      {"newest damaged only", {all[0]}, false, "older file", "the cached body is damaged"},
      {"newest damaged, older intact", all, true, movie, ""},
  };
  for (const Case& c : cases) {
    std::string error;
    std::uint64_t copied = 0;
    EXPECT_EQ(store_.CopyBody(c.entries, target, error, &copied), c.ok) << c.name;
    EXPECT_EQ(error.rfind(c.reason, 0), 0u) << c.name << ": " << error;
    EXPECT_EQ(test::ReadFile(target), c.expected) << c.name;
    EXPECT_TRUE(Leftovers(home_.Path()).empty()) << c.name;
  }
}

TEST(CacheFreshness, ByTheResponseHeaders) {
  const std::int64_t now = ParseHttpDate("Mon, 07 Dec 2026 12:00:00 GMT");
  ASSERT_GT(now, 0);
  const struct {
    const char* headers;
    std::int64_t receivedAgo;
    bool fresh;
  } cases[] = {
      {"Cache-Control: max-age=3600", 60, true},
      {"Cache-Control: max-age=3600", 4000, false},
      {"Cache-Control: public, max-age=60, no-cache", 1, false},
      {"Cache-Control: no-store", 1, false},
      {"Cache-Control: max-age=100\r\nAge: 90", 20, false},
      {"Expires: Mon, 07 Dec 2026 13:00:00 GMT\r\nDate: Mon, 07 Dec 2026 11:59:00 GMT", 60, true},
      {"Expires: 0\r\nDate: Mon, 07 Dec 2026 11:59:00 GMT", 60, false},
      {"Date: Mon, 07 Dec 2026 11:00:00 GMT\r\nLast-Modified: Fri, 27 Nov 2026 11:00:00 GMT", 3600, true},
      {"Date: Mon, 07 Dec 2026 11:00:00 GMT\r\nLast-Modified: Sun, 06 Dec 2026 11:00:00 GMT", 3 * 3600,
       false},
      {"Content-Type: application/x-shockwave-flash", 1, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFresh(std::string("HTTP/1.1 200 OK\r\n") + c.headers, now - c.receivedAgo, now), c.fresh)
        << c.headers;
  }
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), 784111777);
  EXPECT_EQ(ParseHttpDate("yesterday"), 0);
}

}  // namespace
}  // namespace tavimo
