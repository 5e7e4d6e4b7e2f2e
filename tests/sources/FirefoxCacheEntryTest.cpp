// What only Firefox's entries have: versions, tags, elements and chunks, written by the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sources/cache/CachedResponse.h"
#include "tests/support/FirefoxEntryWriter.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::FirefoxEntry;

// The writer's files read back field for field; the reader's checks on what no sample shows.
TEST(FirefoxCacheEntry, WrittenEntriesReadBack) {
  const std::string big(5 << 20, 'z');
  const struct {
    const char* what;
    FirefoxEntry entry;
    int status;  // 0: no entry
  } cases[] = {
      {"v4 defaults", {}, 200},
      {"v3", {.version = 3}, 200},
      {"version 5", {.version = 5}, 0},
      {"no tags", {.tags = ""}, 200},
      {"anonymous", {.tags = "a,"}, 200},
      {"doubled comma in a tag", {.tags = "O^x,,:y,a,"}, 200},
      {"tag never ended", {.tags = "O^x"}, 0},
      {"NUL in the key", {.tags = std::string("a\0,", 3)}, 0},
      {"empty URL", {.url = ""}, 0},
      {"no response head", {.head = ""}, 0},
      {"not an HTTP head", {.head = "ICY 200 OK\r\n"}, 0},
      {"HTTP/2 404", {.head = "HTTP/2 404\r\n"}, 404},
      {"head with blank line", {.head = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n"}, 200},
      {"metadata beyond 4 MiB", {.head = "HTTP/1.1 200 OK\r\nX: " + big + "\r\n"}, 0},
      {"one chunk exactly", {.body = std::string(262144, 'x')}, 200},
      {"three chunks", {.body = std::string(600000, 'y')}, 200},
      {"NUL inside a value",
       {.elements = {{"x", std::string("1\0"
                                       "2",
                                       3)}}},
       0},
      {"no-cache (expiration 0)", {.expiration = 0}, 200},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = test::WriteFirefoxEntry(dir.Path(), c.entry);
    const auto r = ReadFirefoxEntry(FileEntrySource(path));
    ASSERT_EQ(r.has_value(), c.status != 0);
    if (!r) continue;
    EXPECT_EQ(r->url, c.entry.url);
    EXPECT_EQ(r->status, c.status);
    std::string head = c.entry.head;
    if (head.ends_with("\r\n\r\n")) head.resize(head.size() - 2);
    EXPECT_EQ(r->head, head);
    EXPECT_EQ(r->bodyLength, c.entry.body.size());
    EXPECT_EQ(r->chunkHashes, test::FirefoxChunkHashes(c.entry.body));
    EXPECT_EQ(r->useCount, c.entry.fetchCount);
    EXPECT_EQ(r->lastFetched, c.entry.lastFetched);
    EXPECT_EQ(r->responseTime, c.entry.lastModified);
    // No expiry is 0; "expired from the start" stays a time in the past.
    EXPECT_EQ(r->expires,
              c.entry.expiration == 0xffffffff ? 0 : std::max<std::int64_t>(c.entry.expiration, 1));
    std::string error;  // the chunk hashes agree with the body
    EXPECT_TRUE(ReadDecodedBody(
        FileEntrySource(path), *r, [](const char*, std::size_t) { return true; }, error))
        << error;
  }
}

}  // namespace
}  // namespace tavimo
