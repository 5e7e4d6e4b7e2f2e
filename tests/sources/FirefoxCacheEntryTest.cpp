#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "sources/cache/CacheHash.h"
#include "sources/cache/CachedResponse.h"
#include "tests/support/FirefoxEntryWriter.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::FirefoxEntry;

std::string Sample(const std::string& name) {
  const std::string bytes = test::ReadFile(std::string(TAVIMO_BROWSER_SAMPLES) + "/" + name);
  if (bytes.empty()) ADD_FAILURE() << "missing sample " << name;
  return bytes;
}

std::optional<CachedResponse> Read(std::string_view bytes) {
  return ReadFirefoxEntry(MemoryEntrySource(bytes));
}

// Decoded body's SHA-256 in hex, or the reason it could not be read.
std::string DecodedSha256(std::string_view file, const CachedResponse& r) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr);
  std::string error;
  const auto sink = [&](const char* d, std::size_t n) { return EVP_DigestUpdate(ctx.get(), d, n) == 1; };
  if (!ReadDecodedBody(MemoryEntrySource(file), r, sink, error)) return "error: " + error;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(ctx.get(), digest, &size);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += "0123456789abcdef"[digest[i] >> 4];
    hex += "0123456789abcdef"[digest[i] & 15];
  }
  return hex;
}

struct SampleCase {
  std::string file;
  std::string url;  // "" when the entry is no response
  std::uint64_t bodyLength;
  std::uint32_t useCount;
  std::size_t chunks;
  std::int64_t responseTime;  // the Date the server sent, which Firefox stamped too
  std::string sha256;         // of the decoded body; "" not checked
};

const std::string k140 = "firefox-140esr/cache2/entries/", k153 = "firefox-153esr/cache2/entries/";
const std::string kSite = "http://127.0.0.1:8765/";
const std::string kA = "665f69eb195d2d797ae3375838463a02627e7bc6dbb6f987a5b4239fbbcf2c81";
const std::string kB = "701509339d729019d1213482d995c09d542281bdc2f72ab30a32b903b2dfcbbd";
const std::string kC = "a22bf5d07343074759b12d4aa54c4171ad6fcbd0a0341aad2a6ed3ca382f6ada";
const std::string kE = "50861165dc1b5b06eabe18eeaa3668cf69422177f52b2cd7a44e124fb50da8f3";

const std::vector<SampleCase> kSamples = {
    {k140 + "1C849F3650606396F31877F2253E849BD818F1AD", kSite + "c.swf", 20037, 1, 1, 1796629355, kC},
    {k140 + "EF394C34F9116433F1B38F7E55015AB82B95F3BF", kSite + "e.swf", 186, 1, 1, 1796629357, kE},
    {k140 + "4F6BC0638371A8B0990461BCD8657A96F7BAF816", "", 0, 0, 0, 0, ""},  // predictor
    {k153 + "65EFFBF74B7CA1CE07C921BAE9DECDF32C89A2D8", kSite + "c.swf", 20037, 2, 1, 1796629119, kC},
    {k153 + "6872137FC06696702F24F3BC786F06EBAB57B683", kSite + "b.swf?v=1", 300138, 1, 2, 1796629119, kB},
    {k153 + "C13260CB142DD3673D2A4A0B2A84D83498EF12C2", kSite + "a.swf", 4037, 1, 1, 1796629122, kA},
    {k153 + "931B5A71A6F0C9194BD4F9EDFD6795D68A8001BD", kSite + "e.swf", 186, 1, 1, 1796629122, kE},
    {k153 + "417C44C781FB8D7E4A263C25965A67A71969D7C0", kSite + "frame.html", 308, 1, 1, 1796629119, ""},
    {k153 + "D0F48A0632B6C451791F4257697E861961F06A6F", "", 0, 0, 0, 0, ""},  // about:home alt-data
};

TEST(FirefoxCacheEntry, EverySampleReadsAsTheBrowserStoredIt) {
  for (const auto& c : kSamples) {
    SCOPED_TRACE(c.file);
    const std::string bytes = Sample(c.file);
    const auto r = ReadFirefoxEntry(FileEntrySource(std::string(TAVIMO_BROWSER_SAMPLES) + "/" + c.file));
    if (c.url.empty()) {
      EXPECT_EQ(r, std::nullopt);
      continue;
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, CacheKind::Firefox);
    EXPECT_EQ(r->url, c.url);
    EXPECT_EQ(r->status, 200);
    EXPECT_TRUE(r->head.starts_with("HTTP/1.1 200 OK\r\nServer: SimpleHTTP"));
    EXPECT_TRUE(r->head.ends_with("\r\n") && !r->head.ends_with("\r\n\r\n"));
    EXPECT_EQ(r->bodyOffset, 0u);
    EXPECT_EQ(r->bodyLength, c.bodyLength);
    EXPECT_TRUE(IsWholeContent(*r));
    EXPECT_EQ(r->useCount, c.useCount);
    EXPECT_EQ(r->chunkHashes.size(), c.chunks);
    EXPECT_EQ(r->responseTime, c.responseTime);
    EXPECT_EQ(r->expires - r->responseTime, c.url.ends_with(".html") ? 600 : 3600);  // max-age
    EXPECT_GE(r->lastFetched, r->responseTime);
    if (!c.sha256.empty()) {
      EXPECT_EQ(DecodedSha256(bytes, *r), c.sha256);
    }
  }
}

// Every cut of a file (the browser still writing it, a copy cut short) and every damaged byte
// of the metadata, key or offset is no entry; a damaged body is found when the body is read.
TEST(FirefoxCacheEntry, CutOrDamagedEntriesAreNoEntries) {
  for (const auto& c : kSamples) {
    if (c.url.empty()) continue;
    SCOPED_TRACE(c.file);
    const std::string bytes = Sample(c.file);
    const std::size_t meta = static_cast<std::size_t>(c.bodyLength);
    const std::string_view view(bytes);
    for (std::size_t n : {std::size_t{0}, std::size_t{3}, meta / 2, meta}) {
      EXPECT_EQ(Read(view.substr(0, n)), std::nullopt) << n;
    }
    for (std::size_t n = meta + 1; n < bytes.size(); ++n)
      ASSERT_EQ(Read(view.substr(0, n)), std::nullopt) << n;
    const bool v4 = c.file.starts_with(k153);
    const std::size_t end = bytes.size() - (v4 ? 8 : 4);  // end of the hashed metadata
    std::string bad = bytes;
    for (std::size_t at = meta; at < bytes.size(); ++at) {
      bad[at] ^= 0x01;
      const auto r = Read(bad);
      bad[at] ^= 0x01;
      // The u32 after a version 4 entry's elements is covered by nothing and needed by nothing.
      if (at >= end && at < end + 4 && v4) {
        EXPECT_TRUE(r) << at;
      } else {
        ASSERT_EQ(r, std::nullopt) << at;
      }
    }
    for (std::size_t at : {std::size_t{0}, meta - 1}) {
      bad[at] ^= 0x40;
      const auto r = Read(bad);
      ASSERT_TRUE(r);
      EXPECT_EQ(DecodedSha256(bad, *r), "error: the cached body is damaged") << at;
      bad[at] ^= 0x40;
    }
  }
}

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
    EXPECT_FALSE(DecodedSha256(test::ReadFile(path), *r).starts_with("error"));  // chunk hashes agree
  }
}

// A 3 GiB entry is described from its tail alone: no read touches the body, none is large.
struct VirtualEntry : EntrySource {
  std::uint64_t body;
  std::string tail;
  mutable std::uint64_t lowest = UINT64_MAX;
  mutable std::size_t largest = 0;
  VirtualEntry(std::uint64_t b, std::string t) : body(b), tail(std::move(t)) {}
  std::uint64_t Size() const override { return body + tail.size(); }
  bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const override {
    lowest = std::min(lowest, offset);
    largest = std::max(largest, n);
    if (offset < body || n > Size() - offset) return false;
    out = tail.substr(offset - body, n);
    return true;
  }
};

TEST(FirefoxCacheEntry, HugeEntryIsReadFromItsTail) {
  const std::uint64_t body = 3ull << 30;
  const std::string zeros(262144, '\0');
  std::vector<std::uint16_t> hashes(body / zeros.size(), CacheHash16(zeros.data(), zeros.size()));
  std::string tail;
  test::AppendFirefoxEntryTail(tail, FirefoxEntry{}, body, hashes);
  const VirtualEntry source(body, tail);
  const auto r = ReadFirefoxEntry(source);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->bodyLength, body);
  EXPECT_EQ(r->chunkHashes, hashes);
  EXPECT_GE(source.lowest, body);
  EXPECT_LE(source.largest, tail.size());
}

}  // namespace
}  // namespace tavimo
