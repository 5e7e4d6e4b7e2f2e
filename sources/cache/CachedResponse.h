#pragma once
// One response as a browser (or Tavimo itself) keeps it in its disk cache, read from the
// cache's own files. Only the head and the tail of an entry file are read to describe it; the
// body is read (and checked, and decoded) only when someone asks for it.
//
// The browsers' files are only ever opened for reading: never written, locked or moved, since
// the browser may be running and writing them at the same time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MovieLimit.h"

namespace tavimo {

// Read-only random access to one entry file, or to bytes in memory (the fuzzers).
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly n bytes from offset into out (replacing it); false when the source is shorter or
  // the read fails.
  virtual bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const = 0;
};

class FileEntrySource : public EntrySource {
 public:
  // Opens read-only, without updating the access time where the system lets us.
  explicit FileEntrySource(const std::string& path);
  ~FileEntrySource() override;
  FileEntrySource(const FileEntrySource&) = delete;
  FileEntrySource& operator=(const FileEntrySource&) = delete;
  bool Ok() const { return fd_ >= 0; }
  std::uint64_t Size() const override { return size_; }
  std::int64_t ModifiedTime() const { return mtime_; }  // unix seconds
  bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const override;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::int64_t mtime_ = 0;
};

class MemoryEntrySource : public EntrySource {
 public:
  explicit MemoryEntrySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const override;

 private:
  std::string_view bytes_;
};

enum class CacheKind : std::uint8_t { Chromium, Firefox, Tavimo };

struct CachedResponse {
  CacheKind kind = CacheKind::Chromium;
  std::string file;  // the entry file the body is read from (set by whoever opened it)
  std::string url;   // the request URL, bytes as the cache keeps them
  // The response head: status line and header lines, each ending in "\r\n", no blank line.
  std::string head;
  int status = 0;                // from the status line; 0 when it is not HTTP
  std::uint64_t bodyOffset = 0;  // where the stored body begins in the file
  std::uint64_t bodyLength = 0;  // stored bytes (still Content-Encoded)
  std::uint32_t useCount = 0;    // how often the browser used it; 0 where it keeps no count
  // Unix seconds (UTC); 0 where the cache keeps none.
  std::int64_t requestTime = 0;   // when the request was sent
  std::int64_t responseTime = 0;  // when the response arrived
  std::int64_t lastFetched = 0;   // the browser's last use
  std::int64_t expires = 0;       // the browser's own expiry for the entry
  // Checks of the stored body, made when it is read: a CRC-32 of the whole body (Chromium),
  // or the 16-bit hash of each 256 KiB chunk (Firefox).
  std::optional<std::uint32_t> bodyCrc32;
  std::vector<std::uint16_t> chunkHashes;
};

// The readers: an entry of a Chromium Simple Cache folder ("<16 hex>_0") or of a Firefox
// cache2 "entries" folder. std::nullopt for anything that is not a whole, consistent entry
// (still being written, cut short, damaged, another kind of record); `url`, `head`, `status`,
// the body range, the times and the checks are filled, `file` is left to the caller.
std::optional<CachedResponse> ReadChromiumEntry(const EntrySource& source);
std::optional<CachedResponse> ReadFirefoxEntry(const EntrySource& source);

// Content-Encoding in lower case, "" for none or "identity".
std::string ContentEncodingOf(const std::string& head);

// A response a user would call "the file": 200 or 203, and a stored body of the length the
// head names (when it names one). Redirects, errors, partial and cut bodies are not.
bool IsWholeContent(const CachedResponse& r);

// The size of the body once decoded: the stored size, the gzip trailer's size, or (other
// encodings) by decoding it, at most `limit` bytes of it: a few kilobytes of deflate can
// stand for gigabytes. std::nullopt when it cannot be read or decoded, or passes the limit.
std::optional<std::uint64_t> DecodedBodySize(const EntrySource& source, const CachedResponse& r,
                                             std::uint64_t limit = kDefaultMovieBytes);

// Reads the stored body in blocks, checks it and hands out its decoded bytes. False, with a
// reason, when it is cut, fails its check or cannot be decoded; what was handed out is then
// not to be used.
// The sink returns false to stop (a write failed, or it has enough); the read then fails too,
// soon: compressed input is fed a few kilobytes at a time.
using BodySink = std::function<bool(const char* data, std::size_t n)>;
bool ReadDecodedBody(const EntrySource& source, const CachedResponse& r, const BodySink& sink,
                     std::string& error);

}  // namespace tavimo
