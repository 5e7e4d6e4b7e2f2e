#include <gtest/gtest.h>

#include "cli/PageList.h"
#include "cli/ScanOptions.h"
#include "cli/WarcScan.h"
#include "compat/Registry.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/SettingValues.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo::cli {
namespace {

std::optional<ScanOptions> Parse(std::vector<std::string> args, std::string& error) {
  error.clear();
  return ParseScanOptions(args, error);
}

// What each accepted command line means; the order of options and addresses does not matter
// except around --warc.
TEST(ScanOptionsTest, AcceptedCommandLines) {
  std::string error;
  auto o = Parse({"--json", "a/", "--jobs", "3", "b/", "--detect", "all-cache", "--mode", "copy-cache",
                  "--save", "--warc", "--category", "--", "--with-query", "--urls-from", "-"},
                 error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->urls, (std::vector<std::string>{"a/", "b/"}));
  EXPECT_TRUE(o->warcs.empty());  // "--warc" was the value of --save
  EXPECT_EQ(o->saveDir, "--warc");
  EXPECT_EQ(o->category, "--");
  EXPECT_EQ(o->urlsFrom, "-");
  EXPECT_EQ(o->jobs, 3);
  EXPECT_TRUE(o->json && o->withQuery);
  EXPECT_EQ(o->detectMode, 2);
  EXPECT_EQ(o->downloadMode, 2);

  o = Parse({"--save", "out", "--warc", "a.warc", "--json", "b.warc.gz", "--limit", "pages=5", "--limit",
             "moviebytes=0x100"},
            error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->warcs, (std::vector<std::string>{"a.warc", "b.warc.gz"}));
  EXPECT_TRUE(o->urls.empty());
  EXPECT_EQ(o->limits,
            (std::vector<std::pair<Setting, int>>{{Setting::Pages, 5}, {Setting::MovieBytes, 256}}));

  // Addresses are bytes, not text of the locale.
  o = Parse({"http://x/\xe9\xff.htm"}, error);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->urls.at(0), "http://x/\xe9\xff.htm");
  EXPECT_TRUE(Parse({"-h"}, error)->help);
}

TEST(ScanOptionsTest, BadUsageSaysWhy) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } rows[] = {
      {{}, "no page to scan"},
      {{"--frobnicate", "a/"}, "unknown option --frobnicate"},
      {{"-x", "a/"}, "unknown option -x"},
      {{"a/", "--jobs"}, "--jobs needs a value"},
      {{"--jobs", "0", "a/"}, "--jobs takes a number from 1 to 256"},
      {{"--jobs", "2x", "a/"}, "--jobs takes a number from 1 to 256"},
      {{"--detect", "all", "a/"}, "--detect takes page, cache or all-cache"},
      {{"--mode", "web", "a/"}, "--mode takes cache, internet or copy-cache"},
      {{"--limit", "pages=0", "a/"}, "--limit pages takes a number from 1 to 100000"},
      {{"--limit", "nosuch=1", "a/"}, "--limit: tavimo-scan has no limit nosuch"},
      {{"--category", "Games", "a/"}, "--category needs --save"},
      {{"--warc"}, "--warc needs at least one file"},
      {{"a/", "--warc", "b.warc"}, "page addresses and --urls-from cannot be given with --warc"},
      {{"--urls-from", "-", "--warc", "b.warc"},
       "page addresses and --urls-from cannot be given with --warc"},
  };
  for (const auto& r : rows) {
    std::string error;
    EXPECT_FALSE(Parse(r.args, error));
    EXPECT_EQ(error.substr(0, std::strlen(r.error)), r.error);
  }
}

// Each component's own default is the schema's: a component used without the settings (a
// test, a benchmark) bounds its work as the program does.
TEST(ScanOptionsTest, ComponentDefaultsAreTheSchemas) {
  const SettingValues d;
  const THttpCli client;
  const EnvRegistrySource registry;
  const THTTPGet getter(registry);
  const UrlCacheStore store;
  const WarcScanLimits warc;
  const std::pair<long long, Setting> rows[] = {
      {static_cast<long long>(client.MaxHeaderBytes), Setting::HeadBytes},
      {client.MaxRelocations, Setting::Redirects},
      {client.InactivityTimeout, Setting::ClientIdleSeconds},
      {client.RequestTimeout, Setting::ClientRequestSeconds},
      {static_cast<long long>(getter.MaxHeaderBytes), Setting::HeadBytes},
      {getter.ConnectTimeout, Setting::GetterConnectSeconds},
      {getter.StallTimeout, Setting::GetterStallSeconds},
      {getter.CacheLimitBytes, Setting::CacheBytes},
      {getter.MaxMovieBytes, Setting::MovieBytes},
      {store.MaxMovieBytes, Setting::MovieBytes},
      {warc.maxPages, Setting::Pages},
      {static_cast<long long>(warc.maxPageBytes), Setting::PageBytes},
      {static_cast<long long>(warc.maxScanBytes), Setting::ScanBytes},
      {static_cast<long long>(warc.accessPointSpacing), Setting::WarcPointBytes},
      {TPageScan::kDefaultMaxScanBytes, Setting::ScanBytes},
      {static_cast<long long>(PageList::kDefaultMaxLineBytes), Setting::UrlLineBytes},
  };
  for (const auto& [member, id] : rows) EXPECT_EQ(member, d.Get(id)) << EntryOf(id).key;
}

}  // namespace
}  // namespace tavimo::cli
