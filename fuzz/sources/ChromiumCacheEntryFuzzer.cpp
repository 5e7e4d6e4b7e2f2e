// Arbitrary bytes as a Chromium simple-cache entry file. Whatever the reader accepts must be an
// HTTP head and a body range inside the input; the body is then read through its check and
// decoding as the store would. Each input is also tried with its key hash, stream 0's CRC-32
// and the key's SHA-256 made right, so mutations get past the checks into the response pickle.
#include <openssl/sha.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "sources/cache/CachedResponse.h"
#include "sources/cache/ChromiumCacheEntry.h"

namespace {

using namespace tavimo::chromium;

std::uint32_t Get32(const std::string& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void Set32(std::string& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// Recomputes the checks where the layout lets us find them; false when it does not.
bool Repair(std::string& b) {
  const std::size_t size = b.size();
  if (size < kHeaderSize + 2 * kEofSize) return false;
  const std::uint32_t keyLength = Get32(b, 12);
  if (keyLength > size - kHeaderSize - 2 * kEofSize) return false;
  const std::string_view key(b.data() + kHeaderSize, keyLength);
  Set32(b, 16, KeyHash(key));
  const std::uint32_t flags = Get32(b, size - 16), stream0 = Get32(b, size - 8);
  const std::size_t sha = (flags & kEofHasKeySha256) ? kKeySha256Size : 0;
  const std::size_t room = size - kHeaderSize - keyLength - 2 * kEofSize;
  if (sha > room || stream0 > room - sha) return true;
  const std::size_t at = size - kEofSize - sha - stream0;
  const auto crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(b.data() + at), stream0);
  Set32(b, size - 12, static_cast<std::uint32_t>(crc));
  if (sha) {
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(),
           reinterpret_cast<unsigned char*>(b.data() + at + stream0));
  }
  return true;
}

void Check(std::string_view bytes) {
  const tavimo::MemoryEntrySource source(bytes);
  const auto r = tavimo::ReadChromiumEntry(source);
  if (!r) return;
  const std::string& h = r->head;
  bool bareBreak = false;
  for (std::size_t i = 0; i < h.size(); ++i) {
    if ((h[i] == '\r' && (i + 1 == h.size() || h[i + 1] != '\n')) ||
        (h[i] == '\n' && (i == 0 || h[i - 1] != '\r'))) {
      bareBreak = true;
    }
  }
  if (r->url.empty() || r->status < 100 || r->status > 999 || !h.starts_with("HTTP/") ||
      !h.ends_with("\r\n") || h.find("\r\n\r\n") != std::string::npos || bareBreak ||
      r->bodyOffset <= kHeaderSize || r->bodyOffset + r->bodyLength + 2 * kEofSize + 4 > bytes.size()) {
    __builtin_trap();
  }
  std::string error;
  tavimo::ReadDecodedBody(
      source, *r, [](const char*, std::size_t) { return true; }, error);
  (void)tavimo::DecodedBodySize(source, *r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  std::string repaired(bytes);
  if (Repair(repaired) && repaired != bytes) Check(repaired);
  return 0;
}
