// Arbitrary bytes as a Firefox cache2 entry file. A mutated file almost never keeps a valid
// metadata hash, so each input is also tried with its hash set right (when its offset and
// version let us find the metadata): that takes the key and element parsing into the fuzz.
// Whatever the reader accepts must describe a body inside the input with one chunk hash per
// 256 KiB; the body is then read through its checks and decoding as the store would.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sources/cache/CacheHash.h"
#include "sources/cache/CachedResponse.h"

namespace {

std::uint32_t U32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint8_t(b[at + 3]);
}

void Check(std::string_view bytes) {
  const tavimo::MemoryEntrySource source(bytes);
  const auto r = tavimo::ReadFirefoxEntry(source);
  if (!r) return;
  const std::uint64_t chunks = (r->bodyLength + 262143) / 262144;
  if (r->url.empty() || r->status < 100 || r->status > 999 || !r->head.starts_with("HTTP/") ||
      !r->head.ends_with("\r\n") || r->head.ends_with("\r\n\r\n") || r->bodyOffset != 0 ||
      r->bodyLength >= bytes.size() || r->chunkHashes.size() != chunks) {
    __builtin_trap();
  }
  std::string error;
  tavimo::ReadDecodedBody(
      source, *r, [](const char*, std::size_t) { return true; }, error);
  (void)tavimo::DecodedBodySize(source, *r);
}

// The input with the metadata hash it would need; "" when the metadata cannot be found.
std::string WithRightHash(const std::string& b) {
  if (b.size() < 8) return {};
  const std::uint64_t offset = U32(b, b.size() - 4);
  const std::uint64_t header = offset + 4 + 2 * ((offset + 262143) / 262144);
  if (header + 32 > b.size() - 4) return {};
  const std::uint32_t version = U32(b, header);
  const std::uint64_t end = b.size() - (version == 4 ? 8 : 4);
  if (end < header + 32) return {};
  std::string fixed = b;
  const std::uint32_t hash = tavimo::CacheHash32(b.data() + offset + 4, end - offset - 4);
  for (int i = 0; i < 4; ++i) fixed[offset + i] = static_cast<char>(hash >> (24 - 8 * i));
  return fixed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  const std::string fixed = WithRightHash(bytes);
  if (!fixed.empty()) Check(fixed);
  return 0;
}
