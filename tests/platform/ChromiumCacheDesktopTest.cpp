// A real Chromium fills a real Simple Cache from a page on 127.0.0.1: the movies its script
// fetches are in the cache folder as whole entries under their own URLs, where a user's browser
// would keep them.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/HeadlessChromium.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;

struct Movie {
  std::string path;  // as the page's script asks for it, relative to the page
  std::size_t size;
};

// Loaded by script (so cached), beside a query and a body of several read blocks.
const std::vector<Movie> kFetched = {
    {"m/fetched.swf", 5000},
    {"m/versioned.swf?v=2", 700},
    {"m/large.swf", 700000},
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
         "<embed src=\"page.swf\" type=\"application/x-shockwave-flash\">\n<script>\n"
         "Promise.all([" + fetches + "].map(u => fetch(u).then(r => {\n"
         "    if (!r.ok) throw u + ' ' + r.status;\n"
         "    return r.arrayBuffer();\n"
         "  })))\n"
         "  .then(() => { document.title = 'movies fetched'; },\n"
         "        e => { document.title = 'fetch failed ' + e; });\n"
         "</script></body></html>\n";
}

// The entry's key from its header (u32 key length at byte 12, the key from byte 24).
std::string KeyOf(const std::string& entry) {
  if (entry.size() < 24) return {};
  std::uint32_t n = 0;
  for (int i = 0; i < 4; ++i)
    n |= static_cast<std::uint32_t>(static_cast<unsigned char>(entry[12 + i])) << (8 * i);
  return n <= entry.size() - 24 ? entry.substr(24, n) : std::string();
}

TEST(ChromiumCache, MoviesAPageFetchesLandInTheCacheFolderWhole) {
  if (test::ChromiumProgram().empty()) GTEST_SKIP() << "chromium is not installed";

  const std::string swfHeaders =
      "Cache-Control: max-age=3600\r\nContent-Type: application/x-shockwave-flash\r\n";
  std::map<std::string, std::string> files = {
      {"/page.html", TestServer::Response(200, Page(), "Content-Type: text/html\r\n")},
      {"/page.swf", TestServer::Response(200, MovieBytes(900, 99), swfHeaders)},
  };
  for (std::size_t i = 0; i < kFetched.size(); ++i)
    files["/" + kFetched[i].path] = TestServer::Response(
        200, MovieBytes(kFetched[i].size, static_cast<std::uint32_t>(i)), swfHeaders);
  TestServer server(TestServer::Files(files));

  test::TempDir home;
  std::string error;
  ASSERT_TRUE(test::FillChromiumCache(home.Path(), server.Url("/page.html"), "movies fetched", error))
      << error;

  const auto entries = test::ChromiumEntryFiles(home.Path());
  for (std::size_t i = 0; i < kFetched.size(); ++i) {
    const std::string url = server.Url("/" + kFetched[i].path);
    int found = 0;
    for (const auto& file : entries) {
      const std::string entry = test::ReadFile(file);
      const std::string key = KeyOf(entry);
      // "1/0/_dk_<site> <site> <url>": the URL after the last space.
      if (key.substr(key.rfind(' ') + 1) != url) continue;
      ++found;
      EXPECT_NE(entry.find(MovieBytes(kFetched[i].size, static_cast<std::uint32_t>(i))),
                std::string::npos)
          << url << ": the body is not whole in " << file;
    }
    EXPECT_EQ(found, 1) << url << " among " << entries.size() << " entries";
  }

  test::RemoveChromiumFolders(home.Path());
  EXPECT_FALSE(test::FileExists(test::ChromiumProfileFolder(home.Path())));
  EXPECT_FALSE(test::FileExists(home / "cache/chromium"));
}

}  // namespace
}  // namespace tavimo
