#pragma once
// Firefox cache2 entry files written by the tests and benchmarks: byte for byte what Firefox
// writes (body, metadata with its hashes, trailing offset), so the reader cannot tell them from
// the browser's own.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavimo::test {

struct FirefoxEntry {
  std::uint32_t version = 4;  // 3 (Firefox up to 14x) or 4 (adds one u32 after the elements)
  std::string tags = "O^partitionKey=%28http%2C127.0.0.1%29,";  // each tag ends with ","
  std::string url = "http://127.0.0.1:8765/a.swf";
  // The "response-head" element; empty leaves it out (a record that is no response).
  std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n";
  std::string body = {};  // stored as sent (already Content-Encoded, if the head says so)
  // Elements besides the head, in order (the head goes after them).
  std::vector<std::pair<std::string, std::string>> elements = {{"request-method", "GET"}};
  std::uint32_t fetchCount = 1;
  std::uint32_t lastFetched = 1796629119;  // 2026-12-07 07:38:39 UTC
  std::uint32_t lastModified = 1796629119;
  std::uint32_t frecency = 1245328408;
  std::uint32_t expiration = 0xffffffff;  // none
  std::uint32_t flags = 0;

  std::string Key() const { return tags + ":" + url; }
};

// The whole file.
std::string FirefoxEntryBytes(const FirefoxEntry& entry);
// What follows a body of `bodySize` bytes with these chunk hashes (entry.body is not used), for
// entries too big to hold in memory.
void AppendFirefoxEntryTail(std::string& out, const FirefoxEntry& entry, std::uint64_t bodySize,
                            const std::vector<std::uint16_t>& chunkHashes);
std::vector<std::uint16_t> FirefoxChunkHashes(std::string_view body);
// The name Firefox gives the file: upper-case hex SHA-1 of the key.
std::string FirefoxEntryFileName(const FirefoxEntry& entry);
// Writes the file `dir`/<file name> with one write; returns its path ("" when it failed).
std::string WriteFirefoxEntry(const std::string& dir, const FirefoxEntry& entry);

}  // namespace tavimo::test
