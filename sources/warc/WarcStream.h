#pragma once
// The bytes of a WARC file as its records see them, through a bounded window: a plain file
// as it is, a gzip file (one member per record, or one member for the whole file) inflated
// member by member; a member can also be entered in its middle, at an access point kept by an
// earlier read of the file (TWarcAccessPoints). Keeps track of where each gzip member starts in the file,
// since that is the offset an archive's index (and our --save) gives for a compressed record. A broken member
// stops the data until Recover() finds the next member that begins a record.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace tavimo {

struct TWarcAccessPoint;
class TWarcAccessPoints;

class TWarcStream {
 public:
  // Reads up to len bytes into buf: the count, 0 at the end, negative on a read error.
  using Source = std::function<std::ptrdiff_t(char* buf, std::size_t len)>;

  explicit TWarcStream(Source source);
  ~TWarcStream();
  TWarcStream(const TWarcStream&) = delete;
  TWarcStream& operator=(const TWarcStream&) = delete;

  // Keeps access points in `points` while inflating (before the first read; null: none).
  void KeepAccessPoints(TWarcAccessPoints* points) { points_ = points; }
  // Starts inside a gzip member at `point` instead of at the file's start: the source delivers
  // the file from point.FirstByte(). The output before decodedOffset (at or after the point) is
  // dropped. False when the data there cannot be inflated (Broken() says why).
  bool StartAt(const TWarcAccessPoint& point, std::uint64_t decodedOffset);

  // At least n bytes from Position() in the window, unless the data ends or breaks first.
  bool Fill(std::size_t n);
  // At least one byte more than now; false at the end or a break.
  bool More();
  const char* Data() const { return out_.data() + outPos_; }
  std::size_t Available() const { return out_.size() - outPos_; }
  void Consume(std::size_t n);
  // Offset of Data() in the decoded bytes.
  std::uint64_t Position() const { return outBase_ + outPos_; }

  bool Compressed() const { return gzip_; }
  // Bytes inflated so far (what reaching records costs in a gzip file).
  std::uint64_t InflatedBytes() const { return inflated_; }
  // Where a record beginning at Position() is found in the file: the position itself in a
  // plain file, the start of the gzip member holding it in a compressed one.
  std::uint64_t FileOffset();
  // Position() is the first byte of a gzip member.
  bool AtMemberStart();

  // The data stopped at a fault (a broken or cut gzip member, a read error).
  bool Broken() const { return broken_; }
  const std::string& Error() const { return error_; }
  std::uint64_t ErrorOffset() const { return errorOffset_; }
  // After a break: drops what is left and goes on at the next gzip member whose data begins
  // "WARC/1."; at the end when there is none (a plain file has no second chance).
  void Recover();
  // Drops the rest of the current gzip member (at least one byte), so that Position() is at
  // the start of the next one.
  void SkipToNextMember();

  // Bytes kept for each read or inflate step.
  static constexpr std::size_t kStep = 64 * 1024;
  // Compressed bytes kept behind the inflate position.
  static constexpr std::size_t kLookBack = 2 * kStep;

 private:
  bool produce();
  bool readInput();
  bool startMember();
  bool inflateSome();
  void breakAt(std::uint64_t offset, std::string reason);
  void dropWindow();
  bool probe(std::size_t at);
  bool skipTrailer();
  void keepPoint();

  Source source_;
  bool started_ = false;
  bool gzip_ = false;
  bool eof_ = false;  // the source has no more bytes
  bool broken_ = false;
  std::string error_;
  std::uint64_t errorOffset_ = 0;

  std::string in_;  // compressed bytes (gzip only)
  std::size_t inPos_ = 0;
  std::uint64_t inBase_ = 0;  // file offset of in_[0]

  std::uint64_t inflated_ = 0;
  std::string out_;  // decoded window
  std::size_t outPos_ = 0;
  std::uint64_t outBase_ = 0;

  struct Zlib;
  std::unique_ptr<Zlib> z_;
  bool memberOpen_ = false;
  bool raw_ = false;             // inflating a member entered at an access point (no gzip framing)
  std::size_t trailerLeft_ = 0;  // bytes of that member's gzip trailer still to pass over
  TWarcAccessPoints* points_ = nullptr;
  struct Member {
    std::uint64_t decodedStart;
    std::uint64_t fileStart;
    bool entered = false;  // decodedStart is where we came in, not where the member begins
  };
  std::deque<Member> members_;  // the members whose data may still be in the window
};

}  // namespace tavimo
