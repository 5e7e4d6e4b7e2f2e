#include "sources/cache/CachedResponse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>

#include "sources/cache/CacheHash.h"
#include "base/http/BodyFraming.h"
#include "base/http/ContentDecoder.h"
#include "base/TextUtils.h"
#include "base/http/HttpHead.h"

namespace tavimo {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
constexpr std::uint64_t kFirefoxChunk = 256 * 1024;

}  // namespace

FileEntrySource::FileEntrySource(const std::string& path) {
  // O_NOATIME is refused for files of other users; then we open without it.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOATIME);
  if (fd_ < 0 && errno == EPERM) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  mtime_ = st.st_mtim.tv_sec;
}

FileEntrySource::~FileEntrySource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileEntrySource::ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const {
  if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
  out.resize(n);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd_, out.data() + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;  // the file shrank under us: the browser is rewriting it
    got += static_cast<std::size_t>(r);
  }
  return true;
}

bool MemoryEntrySource::ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
  out.assign(bytes_.data() + offset, n);
  return true;
}

std::string ContentEncodingOf(const std::string& head) {
  const std::string value = HttpHeaderValues(head, "Content-Encoding");
  std::string coding;
  if (ContentCodingOf(value, coding).empty()) return coding;
  // Not one we can undo: named as sent, so the reader can say which.
  return AsciiLowerCopy(value);
}

bool IsWholeContent(const CachedResponse& r) {
  if (r.status != 200 && r.status != 203) return false;
  // The cache keeps the body with its transfer coding undone: only a stated length is checked.
  const std::string length = HttpHeaderValues(r.head, "Content-Length");
  if (length.empty()) return true;
  FramingFields fields;
  fields.Add("Content-Length", length);
  const BodyFraming f = fields.Decide(r.status);
  return f.error.empty() && f.kind == BodyFraming::Kind::Length && f.length == r.bodyLength;
}

std::optional<std::uint64_t> DecodedBodySize(const EntrySource& source, const CachedResponse& r,
                                             std::uint64_t limit) {
  const std::string encoding = ContentEncodingOf(r.head);
  if (encoding.empty()) return r.bodyLength;
  if ((encoding == "gzip" || encoding == "x-gzip") && r.bodyLength >= 18) {
    // The gzip trailer holds the size modulo 2^32: the record keeps only those bits anyway.
    std::string tail;
    if (!source.ReadAt(r.bodyOffset + r.bodyLength - 4, 4, tail)) return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(tail.data());
    return std::uint64_t(b[0]) | (std::uint64_t(b[1]) << 8) | (std::uint64_t(b[2]) << 16) |
           (std::uint64_t(b[3]) << 24);
  }
  std::uint64_t total = 0;
  std::string error;
  if (!ReadDecodedBody(
          source, r,
          [&total, limit](const char*, std::size_t n) {
            total += n;
            return total <= limit;
          },
          error)) {
    return std::nullopt;
  }
  return total;
}

bool ReadDecodedBody(const EntrySource& source, const CachedResponse& r, const BodySink& sink,
                     std::string& error) {
  std::string coding;
  const std::string refused = ContentCodingOf(HttpHeaderValues(r.head, "Content-Encoding"), coding);
  if (!refused.empty()) {
    error = "the cached body cannot be read: " + refused;
    return false;
  }
  ContentDecoder decoder(coding);
  if (!r.chunkHashes.empty() && r.chunkHashes.size() != (r.bodyLength + kFirefoxChunk - 1) / kFirefoxChunk) {
    error = "the cached body does not match its chunk list";
    return false;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  std::string block;
  std::uint64_t chunkStart = 0;
  std::uint32_t chunkHash = 0;
  std::string chunk;  // the current Firefox chunk, for its hash (at most 256 KiB)
  for (std::uint64_t done = 0; done < r.bodyLength;) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, r.bodyLength - done));
    if (!r.chunkHashes.empty())
      n = static_cast<std::size_t>(std::min<std::uint64_t>(n, chunkStart + kFirefoxChunk - done));
    if (!source.ReadAt(r.bodyOffset + done, n, block)) {
      error = "the cached body is cut short";
      return false;
    }
    if (r.bodyCrc32) crc = crc32(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(n));
    if (!r.chunkHashes.empty()) {
      chunk += block;
      if (done + n == std::min(chunkStart + kFirefoxChunk, r.bodyLength)) {
        chunkHash = CacheHash16(chunk.data(), chunk.size());
        if (chunkHash != r.chunkHashes[chunkStart / kFirefoxChunk]) {
          error = "the cached body is damaged";
          return false;
        }
        chunk.clear();
        chunkStart += kFirefoxChunk;
      }
    }
    const ContentDecoder::Result step = decoder.Feed(block.data(), n, sink);
    if (step == ContentDecoder::Result::Error) {
      error = "the cached body cannot be decoded: " + decoder.Error();
      return false;
    }
    if (step == ContentDecoder::Result::Stopped) {
      error = "the body could not be written";
      return false;
    }
    done += n;
  }
  if (r.bodyCrc32 && crc != *r.bodyCrc32) {
    error = "the cached body is damaged";
    return false;
  }
  if (const std::string cut = decoder.Finish(); !cut.empty()) {
    error = "the cached body cannot be decoded: " + cut;
    return false;
  }
  return true;
}

}  // namespace tavimo
