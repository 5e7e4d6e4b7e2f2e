#include "sources/cache/ChromiumCacheEntry.h"

#include <openssl/sha.h>
#include <zlib.h>

#include <cstring>

#include "base/http/HttpHead.h"
#include "sources/cache/CachedResponse.h"

namespace tavimo {
namespace chromium {

std::uint32_t KeyHash(std::string_view key) {
  const auto* d = reinterpret_cast<const unsigned char*>(key.data());
  std::size_t len = key.size();
  auto get16 = [](const unsigned char* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; };
  // The tail bytes enter as signed chars, as in the browser's build.
  auto sbyte = [](unsigned char c) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  };
  std::uint32_t hash = static_cast<std::uint32_t>(len);
  const std::size_t rem = len & 3;
  for (len >>= 2; len > 0; --len, d += 4) {
    hash += get16(d);
    const std::uint32_t tmp = (get16(d + 2) << 11) ^ hash;
    hash = (hash << 16) ^ tmp;
    hash += hash >> 11;
  }
  switch (rem) {
    case 3:
      hash += get16(d);
      hash ^= hash << 16;
      hash ^= sbyte(d[2]) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += get16(d);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += sbyte(d[0]);
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
    default: break;
  }
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

std::string_view UrlOfKey(std::string_view key) {
  if (const auto space = key.rfind(' '); space != std::string_view::npos) return key.substr(space + 1);
  // "<digits>/<digits>/<url>"
  std::size_t i = 0;
  for (int part = 0; part < 2; ++part) {
    const std::size_t start = i;
    while (i < key.size() && key[i] >= '0' && key[i] <= '9') ++i;
    if (i == start || i == key.size() || key[i] != '/') return key;
    ++i;
  }
  return key.substr(i);
}

std::int64_t UnixSecondsOf(std::int64_t chromiumTime) {
  if (chromiumTime == 0) return 0;
  std::int64_t seconds = chromiumTime / 1000000;
  if (chromiumTime % 1000000 < 0) --seconds;  // floor, so a time never moves forward
  return seconds - kUnixEpochSeconds;
}

std::int64_t ChromiumTimeOf(std::int64_t unixSeconds) { return (unixSeconds + kUnixEpochSeconds) * 1000000; }

}  // namespace chromium

namespace {

using namespace chromium;

std::uint32_t U32(const std::string& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;  // little endian, like the machines the files come from
}
std::uint64_t U64(const std::string& b, std::size_t at) {
  std::uint64_t v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}

struct EofRecord {
  std::uint32_t flags = 0;
  std::uint32_t crc = 0;
  std::int32_t streamSize = 0;
};

std::optional<EofRecord> ReadEof(const EntrySource& source, std::uint64_t at) {
  std::string b;
  if (!source.ReadAt(at, kEofSize, b) || U64(b, 0) != kFinalMagic) return std::nullopt;
  return EofRecord{U32(b, 8), U32(b, 12), static_cast<std::int32_t>(U32(b, 16))};
}

// Reads the pickle's payload: 4-byte aligned fields.
class PickleReader {
 public:
  PickleReader(std::string_view payload, std::size_t at = 0)
      : p_(payload), at_(at < payload.size() ? at : payload.size()) {}
  std::optional<std::uint32_t> U32() {
    if (p_.size() - at_ < 4) return std::nullopt;
    std::uint32_t v;
    std::memcpy(&v, p_.data() + at_, 4);
    at_ += 4;
    return v;
  }
  bool Skip(std::size_t n) {
    if (p_.size() - at_ < n) return false;
    at_ += n;
    return true;
  }
  std::optional<std::int64_t> I64() {
    if (p_.size() - at_ < 8) return std::nullopt;
    std::int64_t v;
    std::memcpy(&v, p_.data() + at_, 8);
    at_ += 8;
    return v;
  }
  std::optional<std::string_view> String() {
    const auto len = U32();
    if (!len || *len > p_.size() - at_) return std::nullopt;
    const std::string_view s = p_.substr(at_, *len);
    at_ += *len;
    return s;
  }
  std::size_t Offset() const { return at_; }

 private:
  std::string_view p_;
  std::size_t at_;
};

// "HTTP/1.1 200 OK\0Name: value\0...\0\0" as "\r\n"-ended lines. Nothing when a line holds a
// line break of its own (it would forge lines of the head) or there is no status line.
std::optional<std::string> HeadOf(std::string_view raw) {
  std::string head;
  head.reserve(raw.size() + raw.size() / 16);
  while (!raw.empty()) {
    const auto end = raw.find('\0');
    const std::string_view line = raw.substr(0, end);
    if (line.empty()) break;
    if (line.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    head.append(line).append("\r\n");
    raw = end == std::string_view::npos ? std::string_view() : raw.substr(end + 1);
  }
  if (head.empty()) return std::nullopt;
  return head;
}

// The raw headers of stream 0 at `at`: a length-prefixed text that begins with "HTTP/".
std::optional<std::string_view> RawHeadersAt(std::string_view payload, std::size_t at) {
  PickleReader r(payload, at);
  const auto raw = r.String();
  if (!raw || raw->substr(0, 5) != "HTTP/") return std::nullopt;
  return raw;
}

// Stream 0: u32 payload size, then the payload. Fills the times and the head.
bool ParseResponseInfo(std::string_view stream0, CachedResponse& r) {
  if (stream0.size() < 4) return false;
  std::uint32_t payloadSize;
  std::memcpy(&payloadSize, stream0.data(), 4);
  if (payloadSize != stream0.size() - 4) return false;
  const std::string_view payload = stream0.substr(4);
  PickleReader p(payload);
  const auto flags = p.U32();
  if (!flags) return false;
  std::uint32_t extra = 0;
  if (*flags & kResponseHasExtraFlags) {
    const auto e = p.U32();
    if (!e) return false;
    extra = *e;
  }
  // A body the browser knows to be cut short is no copy of the file.
  if (*flags & kResponseTruncated) return false;
  const auto requestTime = p.I64();
  const auto responseTime = p.I64();
  if (!requestTime || !responseTime) return false;
  // Newer browsers add the original response time; its flag decides, and the headers that
  // must follow tell us if a browser of another generation meant otherwise.
  const bool hasOriginal = (extra & kExtraHasOriginalResponseTime) != 0;
  const std::size_t at = p.Offset();
  auto raw = RawHeadersAt(payload, hasOriginal ? at + 8 : at);
  if (!raw) raw = RawHeadersAt(payload, hasOriginal ? at : at + 8);
  if (!raw) return false;
  auto head = HeadOf(*raw);
  if (!head) return false;
  const int status = HttpStatusOf(*head, true);
  if (status == 0) return false;
  r.head = std::move(*head);
  r.status = status;
  r.requestTime = UnixSecondsOf(*requestTime);
  r.responseTime = UnixSecondsOf(*responseTime);
  return true;
}

}  // namespace

std::optional<CachedResponse> ReadChromiumEntry(const EntrySource& source) {
  const std::uint64_t size = source.Size();
  if (size < kHeaderSize + 2 * kEofSize) return std::nullopt;

  std::string header;
  if (!source.ReadAt(0, kHeaderSize, header)) return std::nullopt;
  if (U64(header, 0) != kInitialMagic || U32(header, 8) != kEntryVersion) return std::nullopt;
  const std::uint32_t keyLength = U32(header, 12);
  if (keyLength == 0 || keyLength > kMaxKeyBytes || kHeaderSize + keyLength + 2 * kEofSize > size) {
    return std::nullopt;
  }
  std::string key;
  if (!source.ReadAt(kHeaderSize, keyLength, key) || KeyHash(key) != U32(header, 16)) return std::nullopt;

  const auto eof0 = ReadEof(source, size - kEofSize);
  if (!eof0 || eof0->streamSize < 4 || static_cast<std::uint32_t>(eof0->streamSize) > kMaxStream0Bytes) {
    return std::nullopt;
  }
  const std::size_t stream0Size = static_cast<std::size_t>(eof0->streamSize);
  const std::size_t shaSize = (eof0->flags & kEofHasKeySha256) ? kKeySha256Size : 0;
  const std::uint64_t bodyOffset = kHeaderSize + keyLength;
  const std::uint64_t tail = kEofSize + stream0Size + shaSize + kEofSize;  // EOF 1 to the end
  if (bodyOffset + tail > size) return std::nullopt;
  const std::uint64_t stream0Offset = size - kEofSize - shaSize - stream0Size;

  std::string stream0;  // with the key's SHA-256 behind it
  if (!source.ReadAt(stream0Offset, stream0Size + shaSize, stream0)) return std::nullopt;
  if (eof0->flags & kEofHasCrc32) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(stream0.data()),
                            static_cast<uInt>(stream0Size));
    if (crc != eof0->crc) return std::nullopt;
  }
  if (shaSize) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
    if (std::memcmp(digest, stream0.data() + stream0Size, kKeySha256Size) != 0) return std::nullopt;
  }
  const auto eof1 = ReadEof(source, stream0Offset - kEofSize);
  if (!eof1) return std::nullopt;

  CachedResponse r;
  r.kind = CacheKind::Chromium;
  const std::string_view url = UrlOfKey(key);
  if (url.empty()) return std::nullopt;
  r.url.assign(url);
  if (!ParseResponseInfo(std::string_view(stream0).substr(0, stream0Size), r)) return std::nullopt;
  r.bodyOffset = bodyOffset;
  r.bodyLength = stream0Offset - kEofSize - bodyOffset;
  if (eof1->flags & kEofHasCrc32) r.bodyCrc32 = eof1->crc;
  return r;
}

}  // namespace tavimo
