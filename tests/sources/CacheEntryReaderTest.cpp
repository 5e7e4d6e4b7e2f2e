// The browser cache entry readers, one suite run for both formats: the browsers' own files read as
// stored, every cut copy and every checked byte damaged refused, a damaged body found when it
// is read, and a huge body never read. Each format's own cases are in its own file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sources/cache/CacheHash.h"
#include "base/http/HttpHead.h"
#include "sources/cache/CachedResponse.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/Digest.h"
#include "tests/support/FirefoxEntryWriter.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

const std::string kSamples = TAVIMO_BROWSER_SAMPLES;
const std::string kSite = "http://127.0.0.1:8765/";
// The decoded bodies of the site's movies, as both browsers must give them.
const std::string kA = "665f69eb195d2d797ae3375838463a02627e7bc6dbb6f987a5b4239fbbcf2c81";
const std::string kB = "701509339d729019d1213482d995c09d542281bdc2f72ab30a32b903b2dfcbbd";
const std::string kC = "a22bf5d07343074759b12d4aa54c4171ad6fcbd0a0341aad2a6ed3ca382f6ada";
const std::string kE = "50861165dc1b5b06eabe18eeaa3668cf69422177f52b2cd7a44e124fb50da8f3";

struct Sample {
  std::string file = {};  // below the samples folder
  std::string url = {};   // "" when the file is no response
  int status = 0;
  std::uint64_t bodyLength = 0;
  std::string encoding = {};
  std::int64_t responseTime = 0;  // the Date the server sent
  std::string sha256 = {};        // of the decoded body; "" not checked
  std::uint32_t useCount = 0;
  std::size_t chunks = 0;  // Firefox's chunk hashes
};

std::string ReadSample(const Sample& s) {
  const std::string bytes = test::ReadFile(kSamples + "/" + s.file);
  if (bytes.empty()) ADD_FAILURE() << "missing sample " << s.file;
  return bytes;
}

// The decoded body's SHA-256 in hex, or the reason it could not be read.
std::string DecodedSha256(std::string_view file, const CachedResponse& r) {
  std::string body, error;
  const auto sink = [&body](const char* d, std::size_t n) { return body.append(d, n), true; };
  if (!ReadDecodedBody(MemoryEntrySource(file), r, sink, error)) return "error: " + error;
  return test::Hex(test::Sha256(body));
}

struct ChromiumFormat {
  static constexpr CacheKind kKind = CacheKind::Chromium;
  static constexpr char kFlip = 0x20;
  // The body's CRC-32 is compared at its end: an encoded body may fail to decode first.
  static constexpr bool kDamageSaidBeforeDecoding = false;

  static std::optional<CachedResponse> Read(const EntrySource& s) { return ReadChromiumEntry(s); }

  static const std::vector<Sample>& Samples() {
    const std::string dir = "chromium-156/cache/Cache_Data/";
    static const std::vector<Sample> samples = {
        {dir + "26f0b81d8a9f991a_0", kSite + "c.swf", 200, 20037, "", 1796628784, kC},
        {dir + "ec2215d68ca8f876_0", kSite + "b.swf?v=1", 200, 300138, "", 1796628784, kB},
        {dir + "f96e7b707affdd31_0", kSite + "a.swf", 200, 4037, "", 1796628789, kA},
        {dir + "79c745f03ab2c3d6_0", kSite + "e.swf", 200, 186, "gzip", 1796628789, kE},
        {dir + "c94a553a120e2cc3_0", kSite + "frame.html", 200, 308, "", 1796628784, ""},
        {dir + "b9887417d53c6d42_0", kSite + "favicon.ico", 404, 335, "", 1796628784, ""},
    };
    return samples;
  }

  static void ExpectDetails(const Sample& c, const std::string& bytes, const CachedResponse& r) {
    EXPECT_EQ(r.bodyOffset + r.bodyLength, bytes.find("\xd8\x41\x0d\x97\x45\x6f\xfa\xf4"));
    EXPECT_TRUE(r.requestTime == c.responseTime || r.requestTime == c.responseTime - 1);
    EXPECT_TRUE(r.bodyCrc32);
    // Written again from what was read, by our writer, it reads the same.
    const test::ChromiumEntry again{
        r.url, "", bytes.substr(r.bodyOffset, r.bodyLength), r.head, r.requestTime, r.responseTime};
    const auto back = ReadChromiumEntry(MemoryEntrySource(test::ChromiumEntryBytes(again)));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->url, back->head, back->status, back->bodyLength, back->bodyCrc32,
                       back->requestTime, back->responseTime),
              std::tie(r.url, r.head, r.status, r.bodyLength, r.bodyCrc32, r.requestTime, r.responseTime));
  }

  // One byte of each checked field: header, key, both EOF records, stream 0, the key's SHA-256.
  static std::vector<std::size_t> CheckedBytes(const Sample&, const std::string& bytes,
                                               const CachedResponse& r) {
    const std::size_t body = r.bodyOffset, bodyEnd = r.bodyOffset + r.bodyLength;
    const std::size_t stream0 = bodyEnd + chromium::kEofSize, end = bytes.size();
    return {0,        7,        8,           12,       15,          16,           chromium::kHeaderSize + 6,
            body - 1, bodyEnd,  bodyEnd + 7, stream0,  stream0 + 4, stream0 + 45, stream0 + 200,
            end - 56, end - 25, end - 24,    end - 12, end - 8,     end - 5};
  }

  static std::vector<std::size_t> UnusedBytes(const Sample&, const std::string&, const CachedResponse&) {
    return {};
  }

  static test::ChromiumEntry HugeEntry() { return {kSite + "big.swf", "", "", "HTTP/1.1 200 OK\r\n", 1, 2}; }
  static std::string HugeHead(std::uint64_t) { return test::ChromiumEntryHead(HugeEntry()); }
  static std::string HugeTail(std::uint64_t) { return test::ChromiumEntryTail(HugeEntry(), 0x1234u); }
  static void ExpectHuge(const CachedResponse& r, std::uint64_t) { EXPECT_EQ(r.bodyCrc32, 0x1234u); }
};

struct FirefoxFormat {
  static constexpr CacheKind kKind = CacheKind::Firefox;
  static constexpr char kFlip = 0x01;
  // Each chunk's hash is compared as the chunk is read, before it is decoded.
  static constexpr bool kDamageSaidBeforeDecoding = true;

  static std::optional<CachedResponse> Read(const EntrySource& s) { return ReadFirefoxEntry(s); }

  static const std::vector<Sample>& Samples() {
    const std::string v3 = "firefox-140esr/cache2/entries/", v4 = "firefox-153esr/cache2/entries/";
    static const std::vector<Sample> samples = {
        {v3 + "1C849F3650606396F31877F2253E849BD818F1AD", kSite + "c.swf", 200, 20037, "", 1796629355, kC, 1,
         1},
        {v3 + "EF394C34F9116433F1B38F7E55015AB82B95F3BF", kSite + "e.swf", 200, 186, "gzip", 1796629357, kE,
         1, 1},
        {.file = v3 + "4F6BC0638371A8B0990461BCD8657A96F7BAF816"},  // the predictor's record
        {v4 + "65EFFBF74B7CA1CE07C921BAE9DECDF32C89A2D8", kSite + "c.swf", 200, 20037, "", 1796629119, kC, 2,
         1},
        {v4 + "6872137FC06696702F24F3BC786F06EBAB57B683", kSite + "b.swf?v=1", 200, 300138, "", 1796629119,
         kB, 1, 2},
        {v4 + "C13260CB142DD3673D2A4A0B2A84D83498EF12C2", kSite + "a.swf", 200, 4037, "", 1796629122, kA, 1,
         1},
        {v4 + "931B5A71A6F0C9194BD4F9EDFD6795D68A8001BD", kSite + "e.swf", 200, 186, "gzip", 1796629122, kE,
         1, 1},
        {v4 + "417C44C781FB8D7E4A263C25965A67A71969D7C0", kSite + "frame.html", 200, 308, "", 1796629119, "",
         1, 1},
        {.file = v4 + "D0F48A0632B6C451791F4257697E861961F06A6F"},  // about:home's alternative data
    };
    return samples;
  }

  static void ExpectDetails(const Sample& c, const std::string&, const CachedResponse& r) {
    EXPECT_TRUE(r.head.starts_with("HTTP/1.1 200 OK\r\nServer: SimpleHTTP"));
    EXPECT_EQ(r.bodyOffset, 0u);
    EXPECT_TRUE(IsWholeContent(r));
    EXPECT_EQ(r.expires - r.responseTime, c.url.ends_with(".html") ? 600 : 3600);  // max-age
    EXPECT_GE(r.lastFetched, r.responseTime);
  }

  // Every byte after the body: the metadata is hashed, and the offset must point at it. Only
  // the u32 after a version 4 entry's elements is covered by nothing and needed by nothing.
  static std::vector<std::size_t> CheckedBytes(const Sample& c, const std::string& bytes,
                                               const CachedResponse& r) {
    const std::vector<std::size_t> unused = UnusedBytes(c, bytes, r);
    std::vector<std::size_t> out;
    for (std::size_t at = r.bodyLength; at < bytes.size(); ++at) {
      if (std::find(unused.begin(), unused.end(), at) == unused.end()) out.push_back(at);
    }
    return out;
  }
  static std::vector<std::size_t> UnusedBytes(const Sample& c, const std::string& bytes,
                                              const CachedResponse&) {
    if (!c.file.starts_with("firefox-153esr/")) return {};
    const std::size_t end = bytes.size() - 8;  // end of the hashed metadata
    return {end, end + 1, end + 2, end + 3};
  }

  static std::vector<std::uint16_t> HugeHashes(std::uint64_t body) {
    const std::string zeros(262144, '\0');
    return std::vector<std::uint16_t>(body / zeros.size(), CacheHash16(zeros.data(), zeros.size()));
  }
  static std::string HugeHead(std::uint64_t) { return {}; }
  static std::string HugeTail(std::uint64_t body) {
    std::string tail;
    test::AppendFirefoxEntryTail(tail, test::FirefoxEntry{}, body, HugeHashes(body));
    return tail;
  }
  static void ExpectHuge(const CachedResponse& r, std::uint64_t body) {
    EXPECT_EQ(r.chunkHashes, HugeHashes(body));
  }
};

// One format as the suite runs it: its reader and what is known of its files.
struct Format {
  std::string name;
  CacheKind kind;
  char flip;  // what a damaged byte is changed by
  bool damageSaidBeforeDecoding;
  std::optional<CachedResponse> (*read)(const EntrySource&);
  const std::vector<Sample>& (*samples)();
  void (*expectDetails)(const Sample&, const std::string&, const CachedResponse&);
  std::vector<std::size_t> (*checkedBytes)(const Sample&, const std::string&, const CachedResponse&);
  std::vector<std::size_t> (*unusedBytes)(const Sample&, const std::string&, const CachedResponse&);
  std::string (*hugeHead)(std::uint64_t);
  std::string (*hugeTail)(std::uint64_t);
  void (*expectHuge)(const CachedResponse&, std::uint64_t);
};

template <class F>
Format FormatOf(std::string name) {
  return {std::move(name), F::kKind,     F::kFlip,          F::kDamageSaidBeforeDecoding,
          &F::Read,        &F::Samples,  &F::ExpectDetails, &F::CheckedBytes,
          &F::UnusedBytes, &F::HugeHead, &F::HugeTail,      &F::ExpectHuge};
}
void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

class CacheEntryReader : public ::testing::TestWithParam<Format> {
 protected:
  std::optional<CachedResponse> Read(std::string_view bytes) const {
    return GetParam().read(MemoryEntrySource(bytes));
  }
};

INSTANTIATE_TEST_SUITE_P(Formats, CacheEntryReader,
                         ::testing::Values(FormatOf<ChromiumFormat>("Chromium"),
                                           FormatOf<FirefoxFormat>("Firefox")),
                         [](const ::testing::TestParamInfo<Format>& param) { return param.param.name; });

TEST_P(CacheEntryReader, EverySampleReadsAsTheBrowserStoredIt) {
  const Format& f = GetParam();
  for (const Sample& c : f.samples()) {
    SCOPED_TRACE(c.file);
    const std::string bytes = ReadSample(c);
    const auto r = f.read(FileEntrySource(kSamples + "/" + c.file));
    if (c.url.empty()) {
      EXPECT_EQ(r, std::nullopt);
      continue;
    }
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, f.kind);
    EXPECT_EQ(r->url, c.url);
    EXPECT_EQ(r->status, c.status);
    EXPECT_EQ(r->bodyLength, c.bodyLength);
    EXPECT_EQ(ContentEncodingOf(r->head), c.encoding);
    EXPECT_EQ(HttpHeaderValue(r->head, "content-length"), std::to_string(c.bodyLength));
    EXPECT_TRUE(r->head.ends_with("\r\n") && r->head.find("\r\n\r\n") == std::string::npos);
    EXPECT_EQ(r->responseTime, c.responseTime);
    EXPECT_EQ(r->useCount, c.useCount);
    EXPECT_EQ(r->chunkHashes.size(), c.chunks);
    if (!c.sha256.empty()) {
      EXPECT_EQ(DecodedSha256(bytes, *r), c.sha256);
    }
    f.expectDetails(c, bytes, *r);
  }
}

// A copy cut anywhere outside its body (the browser still writing it, a copy cut short), or at
// a few places inside it, is no entry.
TEST_P(CacheEntryReader, CutCopiesAreNoEntries) {
  const Format& f = GetParam();
  for (const Sample& c : f.samples()) {
    if (c.url.empty()) continue;
    SCOPED_TRACE(c.file);
    const std::string bytes = ReadSample(c);
    const auto whole = Read(bytes);
    ASSERT_TRUE(whole);
    const std::size_t body = whole->bodyOffset, length = whole->bodyLength;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      const bool inBody = n > body && n < body + length;
      if (inBody && n != body + 3 && n != body + length / 4 && n != body + length / 2) continue;
      ASSERT_EQ(Read(std::string_view(bytes).substr(0, n)), std::nullopt) << n;
    }
  }
}

// A damaged byte where the reader checks is no entry, one it does not need changes nothing; a
// damaged body byte is found only when the body is read.
TEST_P(CacheEntryReader, DamagedBytesAreNoEntriesAndADamagedBodyFailsItsRead) {
  const Format& f = GetParam();
  for (const Sample& c : f.samples()) {
    if (c.url.empty()) continue;
    SCOPED_TRACE(c.file);
    const std::string good = ReadSample(c);
    const auto whole = Read(good);
    ASSERT_TRUE(whole);
    std::string bad = good;
    for (std::size_t at : f.checkedBytes(c, good, *whole)) {
      bad[at] ^= f.flip;
      ASSERT_EQ(Read(bad), std::nullopt) << at;
      bad[at] ^= f.flip;
    }
    for (std::size_t at : f.unusedBytes(c, good, *whole)) {
      bad[at] ^= f.flip;
      EXPECT_TRUE(Read(bad)) << at;
      bad[at] ^= f.flip;
    }
    for (std::size_t at : {whole->bodyOffset, whole->bodyOffset + whole->bodyLength - 1}) {
      bad[at] ^= 0x40;
      const auto r = Read(bad);
      ASSERT_TRUE(r) << at;
      const std::string read = DecodedSha256(bad, *r);
      if (f.damageSaidBeforeDecoding || c.encoding.empty()) {
        EXPECT_EQ(read, "error: the cached body is damaged") << at;
      } else {
        EXPECT_TRUE(read.starts_with("error: ")) << at << ": " << read;
      }
      bad[at] ^= 0x40;
    }
  }
}

// Records where an entry file is read.
class ReadLog : public EntrySource {
 public:
  explicit ReadLog(const EntrySource& source) : source_(source) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const override {
    reads.emplace_back(offset, n);
    return source_.ReadAt(offset, n, out);
  }
  mutable std::vector<std::pair<std::uint64_t, std::size_t>> reads;

 private:
  const EntrySource& source_;
};

// A 3 GiB body (a sparse file) is never read: the entry is described from its ends alone.
TEST_P(CacheEntryReader, HugeBodyIsNotRead) {
  const Format& f = GetParam();
  const std::uint64_t body = 3ull << 30;
  const std::string head = f.hugeHead(body), tail = f.hugeTail(body);
  test::TempDir dir;
  const int fd = ::open((dir / "big").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + body)),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  const FileEntrySource file(dir / "big");
  const ReadLog log(file);
  const auto r = f.read(log);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->bodyOffset, head.size());
  EXPECT_EQ(r->bodyLength, body);
  f.expectHuge(*r, body);
  for (const auto& [offset, n] : log.reads) {
    EXPECT_TRUE(offset + n <= head.size() || offset >= head.size() + body) << offset << " +" << n;
    EXPECT_LE(n, std::max(head.size(), tail.size()));
  }
}

}  // namespace
}  // namespace tavimo
