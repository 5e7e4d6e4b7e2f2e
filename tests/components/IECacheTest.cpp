// TIECache over the URL cache store, with the browsers' own cache files laid out as they are
// on a user's machine (several profiles, a cut and a damaged copy among them): what it reports
// of each entry, and how its patterns, filter, groups, cancel and codes map onto the store.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "components/IECache.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/support/BrowserCacheHome.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

const std::string kSite = "http://127.0.0.1:8765/";

class IECacheTest : public ::testing::Test {
 protected:
  // Every URL the enumeration reports, with its record.
  std::multimap<std::string, TEntryInfo> ListAll(TIECache& cache) {
    std::multimap<std::string, TEntryInfo> seen;
    cache.OnEntry = [&seen](TIECache* sender, bool&) {
      seen.emplace(sender->EntryInfo().SourceUrlName, sender->EntryInfo());
    };
    cache.EnumerateEntries(0);
    return seen;
  }

  test::BrowserCacheHome home_{TAVIMO_BROWSER_SAMPLES};
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

// The record's strings are C strings: a URL with a NUL is reported up to it. Its size is the
// low 32 bits of the store's, also for a size not worked out.
TEST_F(IECacheTest, RecordStringsEndAtTheirFirstNulAndTheSizeKeepsItsLowHalf) {
  ASSERT_FALSE(home_.Plant(std::string("http://p/n.swf\0.js", 18), "FWS", "").empty());
  ASSERT_FALSE(
      home_.Plant("http://p/script.js", test::Deflate("var x;"), "Content-Encoding: deflate\r\n").empty());
  TIECache cache(&store_);
  const auto seen = ListAll(cache);
  ASSERT_EQ(seen.count("http://p/n.swf"), 1u);
  EXPECT_EQ(seen.find("http://p/n.swf")->second.Size, 3u);
  ASSERT_EQ(seen.count("http://p/script.js"), 1u);
  EXPECT_EQ(seen.find("http://p/script.js")->second.Size, 0xffffffffu);
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
