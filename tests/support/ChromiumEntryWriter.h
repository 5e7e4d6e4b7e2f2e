#pragma once
// Chromium simple-cache entry files ("<16 hex>_0") as the browser writes them, for the tests
// and the benchmarks.
#include <cstdint>
#include <optional>
#include <string>

namespace tavimo::test {

struct ChromiumEntry {
  std::string url;
  std::string key;   // "" = the partitioned key Chromium builds for `url`
  std::string body;  // stored as is (already Content-Encoded, if the head says so)
  // Status line and headers, each line ended by "\r\n" (CachedResponse::head).
  std::string head = "HTTP/1.1 200 OK\r\n";
  std::int64_t requestTime = 0;  // unix seconds
  std::int64_t responseTime = 0;
  bool bodyCrc = true;               // EOF record 1 carries the body's CRC-32
  bool streamCrc = true;             // EOF record 0 carries stream 0's CRC-32
  bool keySha256 = true;             // the key's SHA-256 before EOF record 0
  bool originalResponseTime = true;  // the extra time newer browsers keep
  std::uint32_t responseFlags = 0;   // more flags of the response (e.g. "truncated")
};

// "1/0/_dk_<site> <site> <url>", the site being the URL's scheme and host.
std::string ChromiumKeyFor(const std::string& url);
// The file's bytes.
std::string ChromiumEntryBytes(const ChromiumEntry& e);
// The same in two parts around a body that is not in memory (e.body is not used): the header
// with the key, and everything after the body (the body's CRC-32 when given).
std::string ChromiumEntryHead(const ChromiumEntry& e);
std::string ChromiumEntryTail(const ChromiumEntry& e, std::optional<std::uint32_t> bodyCrc);
// The file name the browser gives the entry: the first 8 bytes of the key's SHA-1 as a
// little-endian number in hex, then "_0".
std::string ChromiumEntryFileName(const std::string& key);
// Writes the entry into `dir` with one write and returns its path ("" when it failed).
std::string WriteChromiumEntry(const std::string& dir, const ChromiumEntry& e);

}  // namespace tavimo::test
