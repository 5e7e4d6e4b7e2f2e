// TIECache over the URL cache store, with the browsers' own cache files laid out as they are
// on a user's machine (several profiles, a cut and a damaged copy among them) and Tavimo's own
// download cache beside them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "components/IECache.h"
#include "sources/cache/CacheFreshness.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "sources/cache/DownloadCache.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

namespace fs = std::filesystem;
const std::string kSamples = TAVIMO_BROWSER_SAMPLES;
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

class IECacheTest : public ::testing::Test {
 protected:
  IECacheTest() {
    const std::string cache = home_ / "cache";
    chromium_ = cache + "/chromium/Default/Cache/Cache_Data";
    const std::string ff153 = cache + "/mozilla/firefox/x1.default-esr/cache2/entries";
    const std::string ff140 = cache + "/mozilla/firefox/y2.old/cache2/entries";
    for (const auto& [from, to] : {std::pair{"/chromium-156/cache/Cache_Data", chromium_},
                                   std::pair{"/firefox-153esr/cache2/entries", ff153},
                                   std::pair{"/firefox-140esr/cache2/entries", ff140}}) {
      fs::create_directories(to);
      fs::copy(kSamples + from, to, fs::copy_options::recursive);
    }
    // A copy cut short, as while the browser writes it, and one with a damaged head: the
    // same URL must not be listed from them.
    const std::string c = test::ReadFile(chromium_ + "/26f0b81d8a9f991a_0");
    test::WriteFile(chromium_ + "/00000000000000aa_0", c.substr(0, c.size() - 30));
    std::string damaged = c;
    damaged[c.size() - 200] ^= 0x20;
    test::WriteFile(chromium_ + "/00000000000000bb_0", damaged);
  }

  // Every URL the enumeration reports, with its record.
  std::multimap<std::string, TEntryInfo> ListAll(TIECache& cache) {
    std::multimap<std::string, TEntryInfo> seen;
    cache.OnEntry = [&seen](TIECache* sender, bool&) {
      seen.emplace(sender->EntryInfo().SourceUrlName, sender->EntryInfo());
    };
    cache.EnumerateEntries(0);
    return seen;
  }

  test::TempHome home_;
  std::string chromium_;
  UrlCacheStore store_;
};

TEST_F(IECacheTest, ListsTheWholeSuccessfulResponsesOfEveryProfileOnce) {
  TIECache cache(&store_);
  cache.SearchPattern = spUrl;
  const auto seen = ListAll(cache);
  // Chromium: c, b?v=1, a, e, frame (its 404 favicon is no content); Firefox 153 the same
  // five; Firefox 140 c and e (its predictor entry is no response).
  const std::map<std::string, size_t> expected{{kSite + "c.swf", 3},
                                               {kSite + "b.swf?v=1", 2},
                                               {kSite + "a.swf", 2},
                                               {kSite + "e.swf", 3},
                                               {kSite + "frame.html", 2}};
  std::map<std::string, size_t> counts;
  for (const auto& [url, info] : seen) ++counts[url];
  EXPECT_EQ(counts, expected);

  for (const auto& [url, info] : seen) {
    const std::map<std::string, std::uint32_t> sizes{{kSite + "c.swf", 20037},
                                                     {kSite + "b.swf?v=1", 300138},
                                                     {kSite + "a.swf", 4037},
                                                     {kSite + "e.swf", 60008}};
    if (sizes.count(url)) {
      EXPECT_EQ(info.Size, sizes.at(url)) << url;  // decoded, for e.swf
    }
    EXPECT_EQ(info.EntryType, 1u);
    EXPECT_EQ(info.HeaderInfo.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << url;
    EXPECT_EQ(info.HeaderInfo.substr(info.HeaderInfo.size() - 4), "\r\n\r\n");
    EXPECT_GT(info.LastSync, 46000.0) << url;  // December 2026 as a day count
    EXPECT_EQ(info.FileExtension, url.find(".swf") != std::string::npos ? "swf" : "html");
  }
  // The Firefox 153 copy of c.swf was used twice.
  std::set<std::uint32_t> useCounts;
  for (auto [it, end] = seen.equal_range(kSite + "c.swf"); it != end; ++it)
    useCounts.insert(it->second.UseCount);
  EXPECT_EQ(useCounts, (std::set<std::uint32_t>{0, 1, 2}));
  // The record of the last entry stays after the end.
  EXPECT_FALSE(cache.EntryInfo().SourceUrlName.empty());
}

TEST_F(IECacheTest, PatternsFilterGroupsAndCancel) {
  struct Case {
    const char* name;
    TSearchPattern pattern;
    TFilterOptions filter;
    std::int64_t group;
    bool cancelFirst;
    size_t expected;  // entries reported
  } cases[] = {
      {"all (no pattern)", spAll, TIECache::kDefaultFilter, 0, false, 12},
      {"url (empty pattern)", spUrl, TIECache::kDefaultFilter, 0, false, 12},
      {"cookies", spCookies, TIECache::kDefaultFilter, 0, false, 0},
      {"history", spHistory, TIECache::kDefaultFilter, 0, false, 0},
      {"empty filter", spUrl, 0, 0, false, 0},
      {"normal entries only", spUrl, FilterSet({NORMAL_ENTRY}), 0, false, 12},
      {"sticky only", spUrl, FilterSet({STICKY_ENTRY}), 0, false, 0},
      {"another group", spUrl, TIECache::kDefaultFilter, 7, false, 0},
      {"cancel on the first", spUrl, TIECache::kDefaultFilter, 0, true, 1},
  };
  for (const Case& c : cases) {
    TIECache cache(&store_);
    cache.SearchPattern = c.pattern;
    cache.SetFilterOptions(c.filter);
    size_t events = 0;
    cache.OnEntry = [&](TIECache*, bool& cancel) {
      ++events;
      if (c.cancelFirst) cancel = true;
    };
    cache.EnumerateEntries(c.group);
    EXPECT_EQ(events, c.expected) << c.name;
  }
  TIECache cache(&store_);
  EXPECT_EQ(cache.FilterMask(), 0x00300035u);
  cache.SetFilterOptions(0);
  EXPECT_EQ(cache.FilterMask(), 0u);
  TIECache silent(&store_);  // no handler: runs to the end all the same
  silent.EnumerateEntries(0);
  EXPECT_FALSE(silent.EntryInfo().SourceUrlName.empty());
}

TEST_F(IECacheTest, FindCallsReturnTheCacheFunctionsCodes) {
  TIECache cache(&store_);
  cache.SearchPattern = spUrl;
  EXPECT_EQ(cache.FindNextEntry(), kErrorInvalidHandle);  // nothing open
  ASSERT_EQ(cache.FindFirstEntry(0), 0u);
  const std::string first = cache.EntryInfo().SourceUrlName;
  size_t entries = 1;
  while (cache.FindNextEntry() == 0) ++entries;
  EXPECT_EQ(entries, 12u);
  const std::string last = cache.EntryInfo().SourceUrlName;
  EXPECT_EQ(cache.FindNextEntry(), kErrorNoMoreItems);  // and stays at the end
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, last);
  cache.SearchPattern = spHistory;
  EXPECT_EQ(cache.FindFirstEntry(0), kErrorNoMoreItems);
  cache.SearchPattern = spAll;
  ASSERT_EQ(cache.FindFirstEntry(0), 0u);  // a new enumeration from the start
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, first);
  TIECache without(nullptr);
  EXPECT_EQ(without.FindFirstEntry(0), kErrorFileNotFound);
}

TEST_F(IECacheTest, BodiesComeDecodedAndTheBrowsersFilesStayUntouched) {
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
  TIECache cache(&store_);
  ListAll(cache);
  auto after = Snapshot(home_ / "cache");
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.find("/tavimo/extracted/") != std::string::npos ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, before);
}

TEST_F(IECacheTest, OwnDownloadCacheKeepsWholeDownloadsWithinItsBound) {
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
    EXPECT_EQ(HeaderValue(found[0].head, "Content-Length"), "400");
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

// Entries written here beside the samples: what a listing reports of them, and what a copy
// makes of them, with a small movie limit.
class PlantedEntriesTest : public IECacheTest {
 protected:
  PlantedEntriesTest() { store_.MaxMovieBytes = 100000; }
  void Plant(const std::string& url, const std::string& body, const std::string& headers,
             std::int64_t responseTime = 1796629119) {
    test::ChromiumEntry e{.url = url, .key = "", .body = body, .head = "HTTP/1.1 200 OK\r\n" + headers};
    e.requestTime = e.responseTime = responseTime;
    ASSERT_FALSE(test::WriteChromiumEntry(chromium_, e).empty()) << url;
  }
  // No temporary file beside a target of the home folder.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(home_.Path())) {
      if (e.path().filename().string().find(".part") != std::string::npos) out.push_back(e.path());
    }
    return out;
  }
};

TEST_F(PlantedEntriesTest, OnlyMoviesAreDecodedForTheirSizeAndNeverPastTheLimit) {
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
  for (const auto& c : cases) Plant(c.url, c.body, c.headers);
  TIECache cache(&store_);
  const auto seen = ListAll(cache);
  for (const auto& c : cases) {
    const auto it = seen.find(c.url);
    ASSERT_EQ(it != seen.end(), c.size.has_value()) << c.url;
    if (c.size) {
      EXPECT_EQ(it->second.Size, static_cast<std::uint32_t>(*c.size)) << c.url;
    } else {
      EXPECT_TRUE(store_.Find(c.url, false).empty()) << c.url;
    }
  }
}

// The record's strings are C strings: a URL with a NUL is reported up to it.
TEST_F(PlantedEntriesTest, RecordStringsEndAtTheirFirstNul) {
  Plant(std::string("http://p/n.swf\0.js", 18), "FWS", "");
  TIECache cache(&store_);
  const auto seen = ListAll(cache);
  EXPECT_EQ(seen.count("http://p/n.swf"), 1u);
}

TEST_F(PlantedEntriesTest, CopiesStopAtTheLimitAndFallBackToAnOlderIntactEntry) {
  const std::string target = home_ / "m.swf";
  const std::string movie(60000, 'm');
  Plant("http://p/bomb.swf", test::Gzip(std::string(100001, 'b')), "Content-Encoding: gzip\r\n");
  // The same URL twice: the newer copy damaged on disk after it was written (its CRC-32 no
  // longer matches), the older intact.
  Plant("http://p/m.swf", movie, "", 1796629100);
  test::ChromiumEntry newest{.url = "http://p/m.swf", .key = "1/0/http://p/m.swf", .body = movie};
  newest.requestTime = newest.responseTime = 1796629200;
  const std::string file = test::WriteChromiumEntry(chromium_, newest);
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
    EXPECT_TRUE(Leftovers().empty()) << c.name;
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

TEST(EntryTimes, UnixSecondsToLocalDayCounts) {
  test::ScopedEnv env;
  env.Set("TZ", "UTC");
  tzset();
  EXPECT_EQ(UnixToDateTime(0), 0.0);
  EXPECT_DOUBLE_EQ(UnixToDateTime(86400), 25570.0);  // 2 January 1970
  EXPECT_DOUBLE_EQ(UnixToDateTime(784111777), 34644.0 + (8 * 3600 + 49 * 60 + 37) / 86400.0);
  env.Set("TZ", "UTC-2");
  tzset();
  EXPECT_DOUBLE_EQ(UnixToDateTime(86400), 25570.0 + 2.0 / 24);
}

}  // namespace
}  // namespace tavimo
