#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <vector>

#include "sources/cache/CachedResponse.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::ChromiumEntry;

const std::string kDir = std::string(TAVIMO_BROWSER_SAMPLES) + "/chromium-156/cache/Cache_Data/";
const std::string kSite = "http://127.0.0.1:8765/";

std::string Sample(const std::string& name) {
  const std::string bytes = test::ReadFile(kDir + name);
  if (bytes.empty()) ADD_FAILURE() << "missing sample " << name;
  return bytes;
}

std::optional<CachedResponse> Read(std::string_view bytes) {
  return ReadChromiumEntry(MemoryEntrySource(bytes));
}

// The decoded body's SHA-256 in hex, or the reason it could not be read.
std::string DecodedSha256(std::string_view file, const CachedResponse& r) {
  std::string body, error;
  if (!ReadDecodedBody(
          MemoryEntrySource(file), r, [&](const char* d, std::size_t n) { return body.append(d, n), true; },
          error)) {
    return "error: " + error;
  }
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(body.data()), body.size(), digest);
  std::string hex;
  for (unsigned char c : digest) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  return hex;
}

struct SampleCase {
  std::string file, url;
  int status;
  std::uint64_t bodyLength;
  std::string encoding;
  std::int64_t responseTime;  // the Date header the server sent
  std::string sha256;         // of the decoded body, "" not checked
};

const std::vector<SampleCase> kSamples = {
    {"26f0b81d8a9f991a_0", kSite + "c.swf", 200, 20037, "", 1796628784,
     "a22bf5d07343074759b12d4aa54c4171ad6fcbd0a0341aad2a6ed3ca382f6ada"},
    {"ec2215d68ca8f876_0", kSite + "b.swf?v=1", 200, 300138, "", 1796628784,
     "701509339d729019d1213482d995c09d542281bdc2f72ab30a32b903b2dfcbbd"},
    {"f96e7b707affdd31_0", kSite + "a.swf", 200, 4037, "", 1796628789,
     "665f69eb195d2d797ae3375838463a02627e7bc6dbb6f987a5b4239fbbcf2c81"},
    {"79c745f03ab2c3d6_0", kSite + "e.swf", 200, 186, "gzip", 1796628789,
     "50861165dc1b5b06eabe18eeaa3668cf69422177f52b2cd7a44e124fb50da8f3"},
    {"c94a553a120e2cc3_0", kSite + "frame.html", 200, 308, "", 1796628784, ""},
    {"b9887417d53c6d42_0", kSite + "favicon.ico", 404, 335, "", 1796628784, ""},
};

TEST(ChromiumCacheEntry, EverySampleReadsAsTheBrowserStoredIt) {
  for (const auto& c : kSamples) {
    SCOPED_TRACE(c.file);
    const std::string bytes = Sample(c.file);
    const auto r = ReadChromiumEntry(FileEntrySource(kDir + c.file));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->url, c.url);
    EXPECT_EQ(r->status, c.status);
    EXPECT_EQ(r->bodyLength, c.bodyLength);
    EXPECT_EQ(r->bodyOffset + r->bodyLength, bytes.find("\xd8\x41\x0d\x97\x45\x6f\xfa\xf4"));
    EXPECT_EQ(ContentEncodingOf(r->head), c.encoding);
    EXPECT_EQ(HeaderValue(r->head, "content-length"), std::to_string(c.bodyLength));
    EXPECT_TRUE(r->head.ends_with("\r\n") && r->head.find("\r\n\r\n") == std::string::npos);
    EXPECT_EQ(r->responseTime, c.responseTime);
    EXPECT_TRUE(r->requestTime == c.responseTime || r->requestTime == c.responseTime - 1);
    EXPECT_TRUE(r->bodyCrc32);
    if (!c.sha256.empty()) {
      EXPECT_EQ(DecodedSha256(bytes, *r), c.sha256);
    }

    // Written again from what was read, by our writer, it reads the same.
    const ChromiumEntry again{
        r->url, "", bytes.substr(r->bodyOffset, r->bodyLength), r->head, r->requestTime, r->responseTime};
    const auto back = Read(test::ChromiumEntryBytes(again));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->url, back->head, back->status, back->bodyLength, back->bodyCrc32,
                       back->requestTime, back->responseTime),
              std::tie(r->url, r->head, r->status, r->bodyLength, r->bodyCrc32, r->requestTime,
                       r->responseTime));
  }
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

// Cut at each region: header, key, body, stream 0, the last record.
TEST(ChromiumCacheEntry, CutFilesAreNoEntries) {
  const std::string bytes = Sample("26f0b81d8a9f991a_0");
  const std::size_t stream0 = bytes.size() - 24 - 32 - 344;
  for (std::size_t cut : {0ul, 10ul, 23ul, 40ul, 93ul, 5000ul, 20130ul, 20140ul, stream0 + 100,
                          bytes.size() - 24, bytes.size() - 10, bytes.size() - 1}) {
    EXPECT_EQ(Read(std::string_view(bytes).substr(0, cut)), std::nullopt) << cut;
  }
}

// A flipped byte in each checked region; a flipped body byte is the body check's to find.
TEST(ChromiumCacheEntry, DamagedFilesAreNoEntries) {
  const std::string good = Sample("26f0b81d8a9f991a_0");
  const std::size_t end = good.size(), stream0 = end - 24 - 32 - 344;
  for (std::size_t at : {0ul,      7ul,         8ul,          12ul,          15ul,
                         16ul,     30ul,        92ul,         20130ul,       stream0 - 24 + 7,
                         stream0,  stream0 + 4, stream0 + 45, stream0 + 200, end - 56,
                         end - 25, end - 24,    end - 12,     end - 8,       end - 5}) {
    std::string bytes = good;
    bytes[at] ^= 0x20;
    EXPECT_EQ(Read(bytes), std::nullopt) << at;
  }
  std::string bytes = good;
  bytes[5000] ^= 0x20;
  const auto r = Read(bytes);
  ASSERT_TRUE(r);
  EXPECT_EQ(DecodedSha256(bytes, *r), "error: the cached body is damaged");
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

// Only the ends of an entry are read: a 3 GiB body (a sparse file) costs nothing.
TEST(ChromiumCacheEntry, HugeBodyIsNotRead) {
  test::TempDir dir;
  const ChromiumEntry e{kSite + "big.swf", "", "", "HTTP/1.1 200 OK\r\n", 1, 2};
  const std::string head = test::ChromiumEntryHead(e), tail = test::ChromiumEntryTail(e, 0x1234u);
  const std::uint64_t body = 3ull << 30;
  const int fd = ::open((dir / "big").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + body)),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  const auto r = ReadChromiumEntry(FileEntrySource(dir / "big"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->bodyOffset, head.size());
  EXPECT_EQ(r->bodyLength, body);
  EXPECT_EQ(r->bodyCrc32, 0x1234u);
}

}  // namespace
}  // namespace tavimo
