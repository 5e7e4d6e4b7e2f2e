#include "tests/support/FirefoxEntryWriter.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include "sources/cache/CacheHash.h"
#include "tests/support/Digest.h"

namespace tavimo::test {
namespace {

constexpr std::size_t kChunkSize = 256 * 1024;

void PutU32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                     static_cast<char>(v)};
  out.append(b, 4);
}

void PutU16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void PutElement(std::string& out, const std::string& name, const std::string& value) {
  out.append(name).append(1, '\0').append(value).append(1, '\0');
}

}  // namespace

std::vector<std::uint16_t> FirefoxChunkHashes(std::string_view body) {
  std::vector<std::uint16_t> hashes;
  for (std::size_t at = 0; at < body.size(); at += kChunkSize) {
    hashes.push_back(CacheHash16(body.data() + at, std::min(kChunkSize, body.size() - at)));
  }
  return hashes;
}

void AppendFirefoxEntryTail(std::string& out, const FirefoxEntry& e, std::uint64_t bodySize,
                            const std::vector<std::uint16_t>& chunkHashes) {
  const std::string key = e.Key();
  const std::size_t meta = out.size();
  PutU32(out, 0);  // the hash, filled in below
  for (std::uint16_t h : chunkHashes) PutU16(out, h);
  for (std::uint32_t v : {e.version, e.fetchCount, e.lastFetched, e.lastModified, e.frecency, e.expiration,
                          static_cast<std::uint32_t>(key.size()), e.flags}) {
    PutU32(out, v);
  }
  out.append(key).append(1, '\0');
  for (const auto& [name, value] : e.elements) PutElement(out, name, value);
  if (!e.head.empty()) PutElement(out, "response-head", e.head);
  const std::uint32_t hash = CacheHash32(out.data() + meta + 4, out.size() - meta - 4);
  for (int i = 0; i < 4; ++i) out[meta + i] = static_cast<char>(hash >> (24 - 8 * i));
  if (e.version >= 4) PutU32(out, 4);
  PutU32(out, static_cast<std::uint32_t>(bodySize));
}

std::string FirefoxEntryBytes(const FirefoxEntry& e) {
  std::string out;
  std::size_t elements = 0;
  for (const auto& [name, value] : e.elements) elements += name.size() + value.size() + 2;
  out.reserve(e.body.size() + e.body.size() / kChunkSize * 2 + 80 + e.tags.size() + e.url.size() + elements +
              e.head.size());
  out.append(e.body);
  AppendFirefoxEntryTail(out, e, e.body.size(), FirefoxChunkHashes(e.body));
  return out;
}

std::string FirefoxEntryFileName(const FirefoxEntry& entry) { return Hex(Sha1(entry.Key()), true); }

std::string WriteFirefoxEntry(const std::string& dir, const FirefoxEntry& entry) {
  const std::string path = dir + "/" + FirefoxEntryFileName(entry);
  const std::string bytes = FirefoxEntryBytes(entry);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {};
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return ::close(fd) == 0 && ok ? path : std::string();
}

}  // namespace tavimo::test
