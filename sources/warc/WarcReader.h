#pragma once
// Reads web archives (WARC/1.0 and WARC/1.1, as wget --warc-file, Heritrix and the web
// archives write them) record by record: plain, record-gzipped (one gzip member per record) or
// gzipped whole. Memory stays flat on any file size: one record head and a bounded window of
// its block are all that is held (and, when asked, the access points of a file gzipped whole,
// so that a later reader can start at any record without inflating from the start). A damaged record is
// reported with its offset and the reading goes on at the next record.
//
//   TWarcReader reader(TWarcReader::FileSource(fd));
//   TWarcRecord record; TWarcDamage damage;
//   for (;;) {
//     const auto step = reader.Next(record, damage);
//     if (step == TWarcReader::Step::End) break;
//     if (step == TWarcReader::Step::Damaged) { report(damage); continue; }
//     if (record.IsHttpResponse()) { std::string page; reader.ReadPayload(page, limit); }
//   }
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sources/warc/WarcStream.h"

namespace tavimo {

struct TWarcAccessPoint;
class TWarcAccessPoints;

struct TWarcRecord {
  // Where the record starts in the file; in a gzip file, where its gzip member starts (what an
  // archive index gives; a wholly gzipped file has only the one member at 0).
  std::uint64_t offset = 0;
  std::uint64_t decodedOffset = 0;  // where its head starts in the uncompressed data
  std::string version;              // "WARC/1.0", "WARC/1.1"
  // All named fields in their order, names as written, values trimmed (folded lines joined).
  std::vector<std::pair<std::string, std::string>> fields;
  std::string type;         // WARC-Type: "response", "request", "warcinfo", ...
  std::string targetUri;    // WARC-Target-URI, without the "<...>" some WARC/1.0 writers add
  std::string date;         // WARC-Date
  std::string recordId;     // WARC-Record-ID
  std::string contentType;  // Content-Type of the block
  std::uint64_t contentLength = 0;

  // A "response" record whose block is an HTTP response (Content-Type application/http) has
  // its head read: the status and the head (status line and header lines, each ending in a
  // line end, without the blank line). Interim 1xx answers before it are passed over.
  bool httpBlock = false;
  int httpStatus = 0;
  std::string httpHead;
  std::string httpProblem;  // why the block is not a readable HTTP response ("" when it is)

  // The first field `name` (ASCII case ignored); "" when absent.
  std::string Field(std::string_view name) const;
  bool IsHttpResponse() const { return httpBlock && httpProblem.empty(); }
};

struct TWarcDamage {
  std::uint64_t offset = 0;  // of the damaged record (its gzip member), or where bad data starts
  std::string reason;
};

struct TWarcPayloadResult {
  bool complete = false;    // the whole payload was decoded and delivered
  bool cut = false;         // stopped at the caller's limit: the rest was not kept
  bool stopped = false;     // the sink refused more
  std::uint64_t bytes = 0;  // decoded bytes handed over
  std::string error;        // why the payload is not complete (not for cut or stopped)
  // The archive itself breaks inside the record (error says how): the damage that Next would
  // have reported for it, which it now leaves out.
  bool recordDamaged = false;
};

class TWarcReader {
 public:
  using Source = TWarcStream::Source;
  // False stops the payload (e.g. the disk is full).
  using Sink = std::function<bool(const char* data, std::size_t len)>;
  enum class Step { Record, Damaged, End };

  // A record head longer than this is damage (it bounds what a head can make us hold).
  static constexpr std::size_t kMaxHeadBytes = 1 << 20;
  // What a scanned page keeps by default.
  static constexpr std::size_t kDefaultPayloadLimit = 16 << 20;

  explicit TWarcReader(Source source);
  ~TWarcReader();
  TWarcReader(const TWarcReader&) = delete;
  TWarcReader& operator=(const TWarcReader&) = delete;

  // Reads an open file descriptor (not closed by the reader); also pipes and standard input.
  static Source FileSource(int fd);
  // Reads bytes in memory that outlive the reader.
  static Source MemorySource(std::string_view bytes);

  // Keeps access points in `points` while reading (before the first Next).
  void KeepAccessPoints(TWarcAccessPoints* points) { stream_.KeepAccessPoints(points); }
  // Begins at the record whose head starts at decodedOffset inside a gzip member, inflating
  // from `point` (the nearest access point before it); the source must deliver the file from
  // point.FirstByte(). Before the first Next. False when the data there cannot be inflated:
  // Next then reports the damage.
  bool StartAt(const TWarcAccessPoint& point, std::uint64_t decodedOffset) {
    return stream_.StartAt(point, decodedOffset);
  }

  // The next record's head (the rest of the previous record is skipped), or the next damage
  // met. Damage found while skipping a record already returned is reported with that record's
  // offset; damage already reported by a payload call is not reported again.
  Step Next(TWarcRecord& record, TWarcDamage& damage);

  // The current record's HTTP payload, decoded (chunks, gzip, deflate), once per record.
  // ReadPayload keeps at most `limit` bytes in `out` and says when the limit cut it.
  TWarcPayloadResult ReadPayload(std::string& out, std::size_t limit = kDefaultPayloadLimit);
  TWarcPayloadResult StreamPayload(const Sink& sink);

  // Bytes inflated so far by this reader (0 for a plain file).
  std::uint64_t InflatedBytes() const { return stream_.InflatedBytes(); }

 private:
  bool readHead(TWarcRecord& record, TWarcDamage& damage);
  void readHttpHead(TWarcRecord& record);
  bool finishRecord(TWarcDamage& damage);
  void resync();
  void skipLineEnds();
  // Consumes up to n bytes of the block; false (with the reason) when the data ends or breaks.
  bool skipBlock(std::uint64_t n, std::string& why);
  std::string endReason() const;

  TWarcStream stream_;
  bool inRecord_ = false;
  bool payloadRead_ = false;
  bool damageReported_ = false;  // a payload call met the record's damage already
  bool needResync_ = false;
  bool aligned_ = false;  // the current record began at a gzip member's start
  std::uint64_t recordOffset_ = 0;
  std::uint64_t blockLeft_ = 0;
  std::string httpHead_;
  bool httpBlock_ = false;
};

}  // namespace tavimo
