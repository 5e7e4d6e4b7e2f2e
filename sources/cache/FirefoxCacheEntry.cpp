// Firefox's cache2 entry file: the body as it came off the wire, then the metadata, then (from
// entry version 4) one more u32, and last the u32 offset at which the metadata starts, which is
// also the body's size. All numbers big-endian.
//
// Metadata: u32 hash of everything after it up to the end of the elements; one u16 hash per
// 256 KiB chunk of the body; eight u32 (version, fetch count, last fetched, last modified,
// frecency, expiration, key size, flags); the key and a NUL; "name\0value\0" elements.
//
// Only the tail of the file is read. The browser may be writing the file while we look at it,
// so every size and offset is checked against what the file really holds before it is used.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/http/HttpHead.h"
#include "sources/cache/CacheHash.h"
#include "sources/cache/CachedResponse.h"

namespace tavimo {
namespace {

constexpr std::uint64_t kChunkSize = 256 * 1024;
constexpr std::size_t kHeaderFields = 8;
constexpr std::size_t kHeaderSize = kHeaderFields * 4;
constexpr std::uint32_t kNoExpiration = 0xffffffff;
// One read of the tail holds the whole metadata of nearly every entry.
constexpr std::size_t kTailRead = 4096;
// Firefox keeps URLs below 1 MiB and its elements far below that; anything bigger is damage.
constexpr std::uint64_t kMaxMetadata = 4u << 20;

std::uint32_t U32(std::string_view bytes, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint16_t U16(std::string_view bytes, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

// The URL of a key: tags ("a,", "O^<origin attributes>,", "~<id>,"), each ended by a comma (a
// comma inside a tag is doubled), then ":" and the URL up to the end.
std::optional<std::string_view> KeyUrl(std::string_view key) {
  std::size_t i = 0;
  while (i < key.size()) {
    if (key[i] == ':') {
      const std::string_view url = key.substr(i + 1);
      if (url.empty()) return std::nullopt;
      return url;
    }
    ++i;  // the tag's letter, then its value up to a single comma
    for (;;) {
      if (i >= key.size()) return std::nullopt;
      if (key[i] == ',') {
        if (i + 1 < key.size() && key[i + 1] == ',') {
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      ++i;
    }
  }
  return std::nullopt;
}

// The value of element `name`, when the elements are well formed ("name\0value\0" pairs to the
// very end, as Firefox itself demands before it trusts them).
struct Elements {
  bool ok = false;
  std::optional<std::string_view> responseHead;
};

Elements ReadElements(std::string_view bytes) {
  Elements out;
  if (!bytes.empty() && bytes.back() != '\0') return out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t nameEnd = bytes.find('\0', at);
    if (nameEnd == std::string_view::npos || nameEnd + 1 >= bytes.size()) return out;
    const std::size_t valueEnd = bytes.find('\0', nameEnd + 1);
    if (valueEnd == std::string_view::npos) return out;
    const std::string_view name = bytes.substr(at, nameEnd - at);
    if (name == "response-head" && !out.responseHead) {
      out.responseHead = bytes.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    }
    at = valueEnd + 1;
  }
  out.ok = true;
  return out;
}

// The head as the rest of Tavimo keeps it: every line ended by CRLF, no blank line after them.
std::string NormalisedHead(std::string_view head) {
  std::string out(head);
  while (out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0) out.resize(out.size() - 2);
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  return out;
}

}  // namespace

std::optional<CachedResponse> ReadFirefoxEntry(const EntrySource& source) {
  const std::uint64_t size = source.Size();
  if (size < 4) return std::nullopt;
  std::string tail;
  const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, kTailRead);
  if (!source.ReadAt(tailStart, static_cast<std::size_t>(size - tailStart), tail)) return std::nullopt;

  const std::uint64_t offset = U32(tail, tail.size() - 4);
  const std::uint64_t chunks = (offset + kChunkSize - 1) / kChunkSize;
  const std::uint64_t fixedPart = 4 + 2 * chunks + kHeaderSize;  // hash, chunk hashes, header
  // The metadata (without the trailing offset) must at least hold its fixed part and a NUL.
  if (offset > size - 4 || size - 4 - offset < fixedPart + 1 || size - offset > kMaxMetadata) {
    return std::nullopt;
  }

  // meta = [offset, size): the metadata and the trailing u32s.
  std::string_view meta;
  std::string bigger;
  if (offset >= tailStart) {
    meta = std::string_view(tail).substr(static_cast<std::size_t>(offset - tailStart));
  } else {
    if (!source.ReadAt(offset, static_cast<std::size_t>(size - offset), bigger)) return std::nullopt;
    meta = bigger;
  }

  const std::size_t header = static_cast<std::size_t>(4 + 2 * chunks);
  const std::uint32_t version = U32(meta, header);
  std::size_t end = meta.size() - 4;  // end of the elements
  if (version == 4) {
    // Firefox 153 puts one more u32 here; the hash does not cover it and nothing needs it.
    if (end < fixedPart + 1 + 4) return std::nullopt;
    end -= 4;
  } else if (version != 3) {
    return std::nullopt;
  }
  const std::uint64_t keySize = U32(meta, header + 24);
  const std::size_t keyStart = header + kHeaderSize;
  if (keySize + 1 > end - keyStart) return std::nullopt;
  const std::string_view key = meta.substr(keyStart, static_cast<std::size_t>(keySize));
  if (meta[keyStart + keySize] != '\0' || key.find('\0') != std::string_view::npos) return std::nullopt;

  if (CacheHash32(meta.data() + 4, end - 4) != U32(meta, 0)) return std::nullopt;

  const auto url = KeyUrl(key);
  if (!url) return std::nullopt;
  const std::size_t elementsStart = static_cast<std::size_t>(keyStart + keySize + 1);
  const Elements elements = ReadElements(meta.substr(elementsStart, end - elementsStart));
  // No response head: a predictor record, alternative data (compiled script) and the like.
  if (!elements.ok || !elements.responseHead) return std::nullopt;
  const int status = HttpStatusOf(*elements.responseHead, true);
  if (status == 0) return std::nullopt;

  CachedResponse r;
  r.kind = CacheKind::Firefox;
  r.url = std::string(*url);
  r.head = NormalisedHead(*elements.responseHead);
  r.status = status;
  r.bodyOffset = 0;
  r.bodyLength = offset;
  r.useCount = U32(meta, header + 4);
  r.lastFetched = U32(meta, header + 8);
  // Firefox stamps "last modified" when it stores the response (and again when a revalidation
  // renews it): our clock, unlike the server's Date header, and present in every entry.
  r.responseTime = U32(meta, header + 12);
  const std::uint32_t expiration = U32(meta, header + 20);
  // 0 means "expired from the start" (no-cache); keep it in the past rather than turning it
  // into "no expiry".
  r.expires = expiration == kNoExpiration ? 0 : std::max<std::uint32_t>(expiration, 1);
  r.chunkHashes.reserve(static_cast<std::size_t>(chunks));
  for (std::size_t i = 0; i < chunks; ++i) r.chunkHashes.push_back(U16(meta, 4 + 2 * i));
  return r;
}

}  // namespace tavimo
