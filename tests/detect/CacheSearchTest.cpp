// The cache search: its test of one entry against the address field, the rows it appends, and
// the movie URLs tavimo-scan reads from the cache for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "detect/CacheSearch.h"
#include "detect/ItemSink.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(CacheSearch, EntryFilter) {
  const struct {
    const char* entry;
    const char* address;
    bool listAll;
    const char* listed;  // "" = not listed
  } cases[] = {
      {"http://host/a.swf", "http://host/dir/page.htm", false, "http://host/a.swf"},
      {"http://www.host.com/a.swf", "http://host/dir/page.htm", false, "http://www.host.com/a.swf"},
      {"http://other/a.swf", "http://host/dir/page.htm", false, ""},
      {"http://host/a.swf?v=1", "http://host/", false, "http://host/a.swf"},
      {"http://host/a.SWF", "http://host/", false, ""},
      {"http://host/a.swf.html", "http://host/", false, ""},
      {"http://host/?x=a.swf", "http://host/", false, ""},
      {"swf", "", true, ""},
      {"http://host/a.swf", "", false, ""},  // an empty host matches nothing
      {"http://host/a.swf", "", true, "http://host/a.swf"},
      {"http://host/a.swf", "HTTP://host/", false, ""},  // the host becomes "HTTP:"
      {"https://host/a.swf", "https://host/p.html", false, "https://host/a.swf"},
      {"http://host:8765/m/a.swf", "host:8765", false, "http://host:8765/m/a.swf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CacheSearchUrl(c.entry, c.address, c.listAll), c.listed) << c.entry << " / " << c.address;
  }
  EXPECT_EQ(CacheSearchHost("http://host/dir/page.htm"), "host");
  EXPECT_EQ(CacheSearchHost("https://host"), "host");
}

struct Rows : ItemSink {
  std::vector<std::pair<std::string, std::string>> rows;
  void Clear() override { rows.clear(); }
  void AppendItem(const std::string& url, const std::string& name) override { rows.emplace_back(url, name); }
  int Count() const override { return static_cast<int>(rows.size()); }
  std::string Url(int row) const override { return rows[static_cast<size_t>(row)].first; }
};

TEST(CacheSearch, AppendsEachNewMovieOnceInTheCachesOrder) {
  Rows list;
  list.AppendItem("http://host/listed.swf", "from the page");
  SearchCache({"http://host/b.swf?v=1", "http://host/listed.swf", "http://host/a.swf", "http://host/b.swf",
               "http://host/B.swf", "http://other/c.swf", "http://host/page.html"},
              list, "http://host/page.html", false);
  const std::vector<std::pair<std::string, std::string>> expected{{"http://host/listed.swf", "from the page"},
                                                                  {"http://host/b.swf", "b.swf"},
                                                                  {"http://host/a.swf", "a.swf"},
                                                                  {"http://host/B.swf", "B.swf"}};
  EXPECT_EQ(list.rows, expected);
  SearchCache({"http://other/c.swf", "http://host/a.swf"}, list, "", true);
  EXPECT_EQ(list.rows.size(), 5u);
  EXPECT_EQ(list.rows.back().first, "http://other/c.swf");
}

TEST(CacheSearch, MovieUrlsOfTheCacheAsTheEnumeratorReportsThem) {
  test::TempDir dir;
  const std::vector<std::string> planted = {"http://p/a.swf", "http://p/page.html", "http://p/b.swf?v=2",
                                            std::string("http://p/n.swf\0.js", 18),
                                            std::string("http://p/m\0.swf", 16)};
  for (const std::string& url : planted) {
    test::ChromiumEntry e{.url = url, .key = "", .body = "FWS", .head = "HTTP/1.1 200 OK\r\n"};
    ASSERT_FALSE(test::WriteChromiumEntry(dir.Path(), e).empty()) << url;
  }
  const UrlCacheStore store([&dir] {
    UrlCacheFolders f;
    f.chromium = {dir.Path()};
    return f;
  });
  std::vector<std::string> urls = CachedMovieUrls(store);
  std::sort(urls.begin(), urls.end());  // the folder's order is the file system's
  EXPECT_EQ(urls, (std::vector<std::string>{"http://p/a.swf", "http://p/b.swf?v=2", "http://p/n.swf"}));
}

}  // namespace
}  // namespace tavimo
