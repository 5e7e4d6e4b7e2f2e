#include "sources/warc/WarcStream.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sources/warc/WarcAccessPoints.h"

namespace tavimo {

namespace {
const char kGzipMagic[] = "\x1f\x8b\x08";
constexpr int kGzipBits = 15 + 16;
constexpr int kRawBits = -15;
constexpr std::size_t kGzipTrailer = 8;  // CRC-32 and size after the deflate data
constexpr std::size_t kWindow = 32768;
}  // namespace

struct TWarcStream::Zlib {
  z_stream z{};
  bool open = false;
  ~Zlib() {
    if (open) inflateEnd(&z);
  }
};

TWarcStream::TWarcStream(Source source) : source_(std::move(source)), z_(std::make_unique<Zlib>()) {}

TWarcStream::~TWarcStream() = default;

bool TWarcStream::Fill(std::size_t n) {
  // Bytes decoded before a break are good: they are handed out before the break is seen.
  while (Available() < n) {
    if (!produce()) return Available() >= n;
  }
  return true;
}

bool TWarcStream::More() {
  const std::size_t had = Available();
  while (Available() == had) {
    if (!produce()) return Available() > had;
  }
  return true;
}

void TWarcStream::Consume(std::size_t n) {
  outPos_ += n;
  while (members_.size() > 1 && members_[1].decodedStart <= Position()) members_.pop_front();
}

std::uint64_t TWarcStream::FileOffset() {
  if (!gzip_) return Position();
  Fill(1);
  std::uint64_t offset = inBase_ + inPos_;
  for (const Member& m : members_) {
    if (m.decodedStart > Position()) break;
    offset = m.fileStart;
  }
  return offset;
}

bool TWarcStream::AtMemberStart() {
  if (!gzip_) return false;
  Fill(1);
  for (const Member& m : members_) {
    if (!m.entered && m.decodedStart == Position()) return true;
  }
  return false;
}

void TWarcStream::breakAt(std::uint64_t offset, std::string reason) {
  broken_ = true;
  errorOffset_ = offset;
  error_ = std::move(reason);
}

bool TWarcStream::readInput() {
  if (eof_) return false;
  // Keep what is not inflated yet and a stretch behind it: a cut member goes on into the next
  // member's bytes before inflate notices, and Recover looks back for that member.
  if (inPos_ >= kLookBack + kStep) {
    in_.erase(0, inPos_ - kLookBack);
    inBase_ += inPos_ - kLookBack;
    inPos_ = kLookBack;
  }
  const std::size_t old = in_.size();
  in_.resize(old + kStep);
  const std::ptrdiff_t n = source_(in_.data() + old, kStep);
  in_.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
  if (n < 0) {
    eof_ = true;
    breakAt(inBase_ + old, std::string("cannot read the file: ") + std::strerror(errno));
    return false;
  }
  if (n == 0) eof_ = true;
  return n > 0;
}

bool TWarcStream::produce() {
  if (broken_) return false;
  if (outPos_ > 0 && (outPos_ >= kStep || outPos_ == out_.size())) {
    out_.erase(0, outPos_);
    outBase_ += outPos_;
    outPos_ = 0;
  }
  if (!started_) {
    started_ = true;
    while (in_.size() < 2 && readInput()) {
    }
    if (broken_) return false;
    gzip_ = in_.size() >= 2 && in_[0] == kGzipMagic[0] && in_[1] == kGzipMagic[1];
    if (!gzip_) {
      out_.swap(in_);
      in_.clear();
      return !out_.empty();
    }
  }
  if (!gzip_) {
    if (eof_) return false;
    const std::size_t old = out_.size();
    out_.resize(old + kStep);
    const std::ptrdiff_t n = source_(out_.data() + old, kStep);
    out_.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n < 0) breakAt(outBase_ + old, std::string("cannot read the file: ") + std::strerror(errno));
    if (n <= 0) eof_ = true;
    return n > 0;
  }
  return memberOpen_ ? inflateSome() : startMember();
}

bool TWarcStream::skipTrailer() {
  while (trailerLeft_ > 0) {
    if (inPos_ == in_.size() && !readInput()) {
      if (!broken_)
        breakAt(members_.empty() ? inBase_ + inPos_ : members_.back().fileStart,
                "the gzip member is cut short (the file ends inside it)");
      return false;
    }
    const std::size_t k = std::min(trailerLeft_, in_.size() - inPos_);
    inPos_ += k;
    trailerLeft_ -= k;
  }
  return true;
}

bool TWarcStream::startMember() {
  if (!skipTrailer()) return false;
  while (in_.size() - inPos_ < 3 && readInput()) {
  }
  if (broken_) return false;
  const std::size_t avail = in_.size() - inPos_;
  if (avail == 0) return false;  // the clean end after the last member
  if (avail < 3 || std::memcmp(in_.data() + inPos_, kGzipMagic, 3) != 0) {
    breakAt(inBase_ + inPos_, "the data after a gzip member is not another gzip member");
    return false;
  }
  int rc = z_->open ? inflateReset2(&z_->z, kGzipBits) : inflateInit2(&z_->z, kGzipBits);
  if (rc != Z_OK) {
    breakAt(inBase_ + inPos_, "cannot start the decompressor");
    return false;
  }
  z_->open = true;
  memberOpen_ = true;
  members_.push_back({outBase_ + out_.size(), inBase_ + inPos_});
  return true;
}

bool TWarcStream::inflateSome() {
  const std::uint64_t memberStart = members_.empty() ? inBase_ + inPos_ : members_.back().fileStart;
  if (inPos_ == in_.size() && !readInput()) {
    if (!broken_) breakAt(memberStart, "the gzip member is cut short (the file ends inside it)");
    return false;
  }
  const std::size_t old = out_.size();
  out_.resize(old + kStep);
  z_stream& z = z_->z;
  z.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
  z.avail_in = static_cast<uInt>(in_.size() - inPos_);
  z.next_out = reinterpret_cast<Bytef*>(out_.data() + old);
  z.avail_out = static_cast<uInt>(kStep);
  // Stopping at block ends costs a little, so only when a point may fall due in this step.
  const bool watch = points_ && !raw_ && points_->Due(members_.back().decodedStart, outBase_ + old + kStep);
  const int rc = inflate(&z, watch ? Z_BLOCK : Z_NO_FLUSH);
  inPos_ = in_.size() - z.avail_in;
  out_.resize(old + kStep - z.avail_out);
  inflated_ += out_.size() - old;
  if (rc == Z_STREAM_END) {
    memberOpen_ = false;
    if (raw_) {
      raw_ = false;
      trailerLeft_ = kGzipTrailer;
    }
    return true;
  }
  // Right after a block's end (and not in the last block) the state is a byte, a few bits
  // and the window: all that is needed to go on from here later.
  if (watch && rc == Z_OK && (z.data_type & 128) && !(z.data_type & 64) &&
      points_->Due(members_.back().decodedStart, outBase_ + out_.size())) {
    keepPoint();
  }
  if (rc == Z_OK || rc == Z_BUF_ERROR) return true;
  breakAt(memberStart, std::string("the gzip member is broken") + (z.msg ? std::string(": ") + z.msg : ""));
  return false;
}

void TWarcStream::keepPoint() {
  TWarcAccessPoint p;
  p.memberStart = members_.back().fileStart;
  p.fileOffset = inBase_ + inPos_;
  p.bits = z_->z.data_type & 7;
  p.decodedOffset = outBase_ + out_.size();
  p.window.resize(kWindow);
  uInt len = kWindow;
  if (inflateGetDictionary(&z_->z, reinterpret_cast<Bytef*>(p.window.data()), &len) != Z_OK) return;
  p.window.resize(len);
  points_->Add(std::move(p));
}

bool TWarcStream::StartAt(const TWarcAccessPoint& point, std::uint64_t decodedOffset) {
  started_ = true;
  gzip_ = true;
  inBase_ = point.FirstByte();
  outBase_ = point.decodedOffset;
  const int rc = z_->open ? inflateReset2(&z_->z, kRawBits) : inflateInit2(&z_->z, kRawBits);
  if (rc != Z_OK) {
    breakAt(point.memberStart, "cannot start the decompressor");
    return false;
  }
  z_->open = true;
  if (point.bits) {
    while (in_.empty() && readInput()) {
    }
    if (in_.empty()) {
      if (!broken_) breakAt(point.memberStart, "the gzip member is cut short (the file ends inside it)");
      return false;
    }
    inPos_ = 1;
    inflatePrime(&z_->z, point.bits, static_cast<unsigned char>(in_[0]) >> (8 - point.bits));
  }
  if (!point.window.empty() &&
      inflateSetDictionary(&z_->z, reinterpret_cast<const Bytef*>(point.window.data()),
                           static_cast<uInt>(point.window.size())) != Z_OK) {
    breakAt(point.memberStart, "cannot start the decompressor inside the gzip member");
    return false;
  }
  memberOpen_ = true;
  raw_ = true;
  members_.push_back({point.decodedOffset, point.memberStart, true});
  while (Position() < decodedOffset) {
    if (Available() == 0 && !produce()) return false;
    Consume(static_cast<std::size_t>(std::min<std::uint64_t>(Available(), decodedOffset - Position())));
  }
  return true;
}

void TWarcStream::dropWindow() {
  outBase_ += out_.size();
  out_.clear();
  outPos_ = 0;
  members_.clear();
}

bool TWarcStream::probe(std::size_t at) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
  char head[7];
  z.next_in = reinterpret_cast<Bytef*>(in_.data() + at);
  z.avail_in = static_cast<uInt>(in_.size() - at);
  z.next_out = reinterpret_cast<Bytef*>(head);
  z.avail_out = sizeof head;
  int rc = Z_OK;
  while (rc == Z_OK && z.avail_out > 0 && z.avail_in > 0) rc = inflate(&z, Z_NO_FLUSH);
  const bool ok = z.avail_out == 0 && std::memcmp(head, "WARC/1.", sizeof head) == 0;
  inflateEnd(&z);
  return ok;
}

void TWarcStream::Recover() {
  const bool wasBroken = broken_;
  broken_ = false;
  error_.clear();
  dropWindow();
  memberOpen_ = false;
  raw_ = false;
  trailerLeft_ = 0;
  if (!gzip_ || !wasBroken) {
    if (!gzip_) eof_ = true;  // a plain file breaks only when it cannot be read
    return;
  }
  // The next member that begins a record, from just after the broken one's start (or as far
  // back as we kept); a stray magic inside deflate data fails the probe.
  std::size_t from = errorOffset_ >= inBase_ ? static_cast<std::size_t>(errorOffset_ - inBase_) + 1 : 0;
  from = std::min(from, in_.size());
  for (;;) {
    const void* hit =
        from + 3 <= in_.size() ? memmem(in_.data() + from, in_.size() - from, kGzipMagic, 3) : nullptr;
    if (hit != nullptr) {
      const std::size_t at = static_cast<const char*>(hit) - in_.data();
      inPos_ = at;
      while (in_.size() - inPos_ < kStep && readInput()) {
      }
      if (probe(inPos_)) return;  // a read error on the way is reported when the data gets there
      from = inPos_ + 1;
      continue;
    }
    inPos_ = std::max(from, in_.size() >= 2 ? in_.size() - 2 : in_.size());
    if (!readInput()) {
      inPos_ = in_.size();
      return;
    }
    from = inPos_;
  }
}

void TWarcStream::SkipToNextMember() {
  if (!gzip_) return;
  const std::uint64_t start = Position();
  for (const Member& m : members_) {
    if (m.decodedStart > start && m.decodedStart <= outBase_ + out_.size()) {
      Consume(m.decodedStart - start);
      return;
    }
  }
  for (;;) {
    Consume(Available());
    if (memberOpen_) {
      if (!produce()) return;
      continue;
    }
    if (Position() > start) return;
    if (!produce()) return;
  }
}

}  // namespace tavimo
