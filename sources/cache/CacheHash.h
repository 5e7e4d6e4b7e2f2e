#pragma once
// The hash Firefox's disk cache keeps beside its entries (Bob Jenkins' one-at-a-time-block
// "lookup2" hash): 32 bits over an entry's metadata, the low 16 bits over each body chunk.
#include <cstddef>
#include <cstdint>

namespace tavimo {

std::uint32_t CacheHash32(const char* data, std::size_t size, std::uint32_t initval = 0);
inline std::uint16_t CacheHash16(const char* data, std::size_t size) {
  return static_cast<std::uint16_t>(CacheHash32(data, size) & 0xffff);
}

}  // namespace tavimo
