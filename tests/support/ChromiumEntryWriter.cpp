#include "tests/support/ChromiumEntryWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>

#include "sources/cache/ChromiumCacheEntry.h"
#include "tests/support/Digest.h"

namespace tavimo::test {
namespace {

using namespace tavimo::chromium;

void Put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
void Put64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
}
void Pad4(std::string& out, std::size_t from) {
  while ((out.size() - from) % 4) out += '\0';
}
std::uint32_t Crc(std::string_view s, std::size_t from, std::size_t n) {
  return static_cast<std::uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(s.data() + from), static_cast<uInt>(n)));
}
void PutEof(std::string& out, std::uint32_t flags, std::uint32_t crc, std::uint32_t streamSize) {
  Put64(out, kFinalMagic);
  Put32(out, flags);
  Put32(out, crc);
  Put32(out, streamSize);
  Put32(out, 0);
}

}  // namespace

std::string ChromiumKeyFor(const std::string& url) {
  const auto scheme = url.find("://");
  std::string site = url;
  if (scheme != std::string::npos) {
    const auto hostEnd = url.find_first_of(":/?#", scheme + 3);
    site = url.substr(0, hostEnd);
  }
  return "1/0/_dk_" + site + " " + site + " " + url;
}

std::string ChromiumEntryHead(const ChromiumEntry& e) {
  const std::string key = e.key.empty() ? ChromiumKeyFor(e.url) : e.key;
  std::string out;
  out.reserve(kHeaderSize + key.size() + e.body.size());
  Put64(out, kInitialMagic);
  Put32(out, kEntryVersion);
  Put32(out, static_cast<std::uint32_t>(key.size()));
  Put32(out, KeyHash(key));
  Put32(out, 0);
  out += key;
  return out;
}

std::string ChromiumEntryTail(const ChromiumEntry& e, std::optional<std::uint32_t> bodyCrc) {
  const std::string key = e.key.empty() ? ChromiumKeyFor(e.url) : e.key;
  std::string out;
  out.reserve(e.head.size() + 256);
  PutEof(out, bodyCrc ? kEofHasCrc32 : 0, bodyCrc.value_or(0), 0);

  // Stream 0: the pickle, its size patched in once known.
  const std::size_t stream0 = out.size();
  Put32(out, 0);
  Put32(out, kResponseVersion | kResponseHasExtraFlags | (1u << 18) | e.responseFlags);
  Put32(out, e.originalResponseTime ? kExtraHasOriginalResponseTime : 0);
  Put64(out, static_cast<std::uint64_t>(ChromiumTimeOf(e.requestTime)));
  Put64(out, static_cast<std::uint64_t>(ChromiumTimeOf(e.responseTime)));
  if (e.originalResponseTime) Put64(out, static_cast<std::uint64_t>(ChromiumTimeOf(e.responseTime)));
  std::string raw;
  for (std::size_t at = 0; at < e.head.size();) {
    auto end = e.head.find("\r\n", at);
    if (end == std::string::npos) end = e.head.size();
    raw.append(e.head, at, end - at).append(1, '\0');
    at = end + 2;
  }
  raw += '\0';
  Put32(out, static_cast<std::uint32_t>(raw.size()));
  out += raw;
  Pad4(out, stream0);
  // What the browser keeps after the headers: the peer's address and port, and a few fields.
  Put32(out, 9);
  out.append("127.0.0.1\0\0\0", 12);
  Put32(out, 8765);
  Put32(out, 1);
  Put32(out, 0xffffffff);
  Put32(out, 0);
  const std::size_t stream0Size = out.size() - stream0;
  const auto payload = static_cast<std::uint32_t>(stream0Size - 4);
  for (int i = 0; i < 4; ++i) out[stream0 + i] = static_cast<char>(payload >> (8 * i));
  const std::uint32_t crc = e.streamCrc ? Crc(out, stream0, stream0Size) : 0;
  if (e.keySha256) out += Sha256(key);
  PutEof(out, (e.streamCrc ? kEofHasCrc32 : 0) | (e.keySha256 ? kEofHasKeySha256 : 0), crc,
         static_cast<std::uint32_t>(stream0Size));
  return out;
}

std::string ChromiumEntryBytes(const ChromiumEntry& e) {
  std::string out = ChromiumEntryHead(e);
  out += e.body;
  out += ChromiumEntryTail(e, e.bodyCrc ? std::optional(Crc(e.body, 0, e.body.size())) : std::nullopt);
  return out;
}

std::string ChromiumEntryFileName(const std::string& key) {
  const std::string digest = Sha1(key);
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(digest[static_cast<std::size_t>(i)]);
  char name[24];
  std::snprintf(name, sizeof name, "%016llx_0", static_cast<unsigned long long>(v));
  return name;
}

std::string WriteChromiumEntry(const std::string& dir, const ChromiumEntry& e) {
  const std::string bytes = ChromiumEntryBytes(e);
  const std::string path = dir + "/" + ChromiumEntryFileName(e.key.empty() ? ChromiumKeyFor(e.url) : e.key);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return {};
  const ssize_t n = ::write(fd, bytes.data(), bytes.size());
  ::close(fd);
  return n == static_cast<ssize_t>(bytes.size()) ? path : std::string();
}

}  // namespace tavimo::test
