// A real Chromium fills a real Simple Cache from a page on 127.0.0.1: the movies its script
// fetches are in the cache folder as whole entries under their own URLs, where a user's browser
// would keep them, and the entry reader takes every file the browser wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sources/cache/CachedResponse.h"
#include "base/http/HttpHead.h"
#include "tests/support/HeadlessChromium.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;

struct Movie {
  std::string path;  // as the page's script asks for it, relative to the page
  std::size_t size;
  bool gzip;  // sent with Content-Encoding: gzip (the cache keeps it so)
};

// Loaded by script (so cached): with a query, a body of several read blocks, a gzip body.
const std::vector<Movie> kFetched = {
    {"m/fetched.swf", 5000, false},
    {"m/versioned.swf?v=2", 700, false},
    {"m/large.swf", 700000, false},
    {"m/packed.swf", 60000, true},
};

// An uncompressed SWF header, then bytes that differ from movie to movie.
std::string MovieBytes(std::size_t size, std::uint32_t seed) {
  std::string b = "FWS\x0a";
  for (int i = 0; i < 4; ++i) b += static_cast<char>((size >> (8 * i)) & 0xff);
  std::uint32_t x = seed * 2654435761u + 1;
  while (b.size() < size) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b += static_cast<char>(x & 0xff);
  }
  b.resize(size);
  return b;
}

// The page: one movie by <embed> (not fetched by the browser) and the others by fetch(); the
// title says when every fetch has its whole body.
std::string Page() {
  std::string fetches;
  for (const auto& m : kFetched) fetches += "'" + m.path + "',";
  return "<html><head><title>loading</title></head><body>\n"
         "<embed src=\"page.swf\" type=\"application/x-shockwave-flash\">\n<script>\n" +
         test::FetchAllScript("[" + fetches + "]") + "</script></body></html>\n";
}

// The body as the reader hands it out, decoded; "" when it refuses it.
std::string BodyOf(const EntrySource& source, const CachedResponse& r) {
  std::string body, error;
  const bool ok = ReadDecodedBody(
      source, r, [&](const char* d, std::size_t n) { return body.append(d, n), true; }, error);
  EXPECT_TRUE(ok) << r.url << ": " << error;
  return ok ? body : std::string();
}

TEST(ChromiumCache, MoviesAPageFetchesLandInTheCacheFolderWhole) {
  if (test::ChromiumProgram().empty()) GTEST_SKIP() << "chromium is not installed";

  const std::string swfHeaders =
      "Cache-Control: max-age=3600\r\nContent-Type: application/x-shockwave-flash\r\n";
  std::map<std::string, std::string> files = {
      {"/page.html", TestServer::Response(200, Page(), "Content-Type: text/html\r\n")},
      {"/page.swf", TestServer::Response(200, MovieBytes(900, 99), swfHeaders)},
  };
  for (std::size_t i = 0; i < kFetched.size(); ++i) {
    const std::string bytes = MovieBytes(kFetched[i].size, static_cast<std::uint32_t>(i));
    files["/" + kFetched[i].path] =
        kFetched[i].gzip
            ? TestServer::Response(200, test::Gzip(bytes), swfHeaders + "Content-Encoding: gzip\r\n")
            : TestServer::Response(200, bytes, swfHeaders);
  }
  TestServer server(TestServer::Files(files));

  test::TempDir home;
  std::string error;
  const std::string page = server.Url("/page.html");
  ASSERT_TRUE(test::FillChromiumCache(home.Path(), page, "movies fetched", error)) << error;

  // Every file a clean exit leaves is a whole entry; the movies are there once, under the URL
  // the script asked for, with their headers and their bytes.
  std::map<std::string, int> seen;
  for (const auto& file : test::ChromiumEntryFiles(home.Path())) {
    FileEntrySource source(file);
    const auto entry = ReadChromiumEntry(source);
    ASSERT_TRUE(entry) << file << " is not read as an entry";
    for (std::size_t i = 0; i < kFetched.size(); ++i) {
      if (entry->url != server.Url("/" + kFetched[i].path)) continue;
      ++seen[entry->url];
      EXPECT_EQ(entry->status, 200) << entry->url;
      EXPECT_TRUE(IsWholeContent(*entry)) << entry->url;
      EXPECT_EQ(HttpHeaderValue(entry->head, "cache-control"), "max-age=3600") << entry->url;
      EXPECT_EQ(ContentEncodingOf(entry->head), kFetched[i].gzip ? "gzip" : "") << entry->url;
      const std::string sent = MovieBytes(kFetched[i].size, static_cast<std::uint32_t>(i));
      EXPECT_TRUE(BodyOf(source, *entry) == sent) << entry->url << ": not the bytes sent";
    }
  }
  for (const auto& m : kFetched) EXPECT_EQ(seen[server.Url("/" + m.path)], 1) << m.path;

  test::RemoveChromiumFolders(home.Path());
  EXPECT_FALSE(test::FileExists(test::ChromiumProfileFolder(home.Path())));
  EXPECT_FALSE(test::FileExists(home / "cache/chromium"));
}

}  // namespace
}  // namespace tavimo
