#pragma once
// Chromium's "simple" disk cache keeps one file "<16 hex>_0" per entry, little endian:
//
//   header   u64 magic, u32 version, u32 key length, u32 key hash, u32 padding
//   key      "1/0/_dk_<site> <site> <url>" (older or unpartitioned: "1/0/<url>" or the URL)
//   stream 1 the body, as the server sent it
//   EOF 1    u64 magic, u32 flags, u32 CRC-32 of the stream, i32 stream size, u32 padding
//   stream 0 a pickle of the response: flags, times, the NUL-separated raw headers, ...
//   [SHA-256 of the key, when EOF 0 says so]
//   EOF 0    as EOF 1, for stream 0
//
// ReadChromiumEntry (CachedResponse.h) reads it; what is here is shared with whoever writes
// such files (the tests, the benchmarks).
#include <cstdint>
#include <string_view>

namespace tavimo::chromium {

inline constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ULL;
inline constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ULL;
inline constexpr std::uint32_t kEntryVersion = 5;
inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::size_t kEofSize = 24;
inline constexpr std::size_t kKeySha256Size = 32;

// EOF record flags.
inline constexpr std::uint32_t kEofHasCrc32 = 1;
inline constexpr std::uint32_t kEofHasKeySha256 = 2;  // stream 0's record only

// Flags of the response pickle (stream 0).
inline constexpr std::uint32_t kResponseVersion = 3;
inline constexpr std::uint32_t kResponseTruncated = 1u << 12;  // the body was cut off
inline constexpr std::uint32_t kResponseHasExtraFlags = 1u << 31;
inline constexpr std::uint32_t kExtraHasOriginalResponseTime = 1u << 1;

// Entries larger than these are not Chromium's: its URLs stop at 2 MiB, and stream 0 holds
// only the headers and the connection's certificates. They also bound what a damaged size
// field can make us allocate.
inline constexpr std::uint32_t kMaxKeyBytes = 4u << 20;
inline constexpr std::uint32_t kMaxStream0Bytes = 4u << 20;

// The key hash of the header (Paul Hsieh's SuperFastHash over the key bytes).
std::uint32_t KeyHash(std::string_view key);

// The request URL inside a key: the text after its last space, or the key without a leading
// "<digits>/<digits>/" (the old credentials/upload prefix) when it has no space.
std::string_view UrlOfKey(std::string_view key);

// Chromium's times are microseconds since 1601-01-01 UTC; 0 means none.
inline constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601 to 1970
std::int64_t UnixSecondsOf(std::int64_t chromiumTime);
std::int64_t ChromiumTimeOf(std::int64_t unixSeconds);

}  // namespace tavimo::chromium
