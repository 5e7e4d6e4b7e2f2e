#include "swf/SwfBody.h"

#include <algorithm>
#include <cstdint>
#include <lzma.h>
#include <zlib.h>

namespace tavimo {
namespace {

// Decompressed at a time.
constexpr std::size_t kChunk = 256 * 1024;
// Input handed over at a time (zlib counts in 32 bits).
constexpr std::size_t kMaxFeed = 1u << 30;

}  // namespace

struct SwfBody::Streams {
  z_stream zlib{};
  lzma_stream lzma = LZMA_STREAM_INIT;
  bool zlibStarted = false, lzmaStarted = false;
  std::uint8_t lzmaHeader[13] = {};
  bool headerFed = false;
  ~Streams() {
    if (zlibStarted) inflateEnd(&zlib);
    if (lzmaStarted) lzma_end(&lzma);
  }
};

SwfBody::SwfBody(char compression, std::string_view data, std::size_t expected)
    : compression_(compression), data_(data), expected_(expected), streams_(std::make_unique<Streams>()) {
  if (compression_ == 'F') {
    // The plain body is its own chunk.
    expected_ = std::min(expected_, data_.size());
    return;
  }
  Streams& s = *streams_;
  if (compression_ == 'C') {
    s.zlibStarted = inflateInit(&s.zlib) == Z_OK;
    if (!s.zlibStarted) error_ = "zlib could not be started", ended_ = true;
    return;
  }
  if (data_.size() < 5) {
    error_ = "the LZMA header is cut short", ended_ = true;
    return;
  }
  // liblzma gets the stream in its .lzma form: the properties, then the uncompressed size as
  // unknown (movies end with or without an end marker; reading stops at `expected`). The
  // dictionary never needs to be larger than the output, so a declared giant one is cut down.
  s.lzmaHeader[0] = static_cast<std::uint8_t>(data_[0]);
  std::uint32_t dict = 0;
  for (int i = 3; i >= 0; --i) dict = dict << 8 | static_cast<std::uint8_t>(data_[1 + i]);
  dict = static_cast<std::uint32_t>(std::min<std::uint64_t>(dict, std::max<std::uint64_t>(expected_, 4096)));
  for (int i = 0; i < 4; ++i) s.lzmaHeader[1 + i] = static_cast<std::uint8_t>(dict >> (8 * i));
  for (int i = 5; i < 13; ++i) s.lzmaHeader[i] = 0xff;
  data_.remove_prefix(5);
  s.lzmaStarted = lzma_alone_decoder(&s.lzma, 256ull * 1024 * 1024) == LZMA_OK;
  if (!s.lzmaStarted) error_ = "LZMA could not be started", ended_ = true;
}

SwfBody::~SwfBody() = default;

bool SwfBody::Inflate(std::size_t room) {
  z_stream& z = streams_->zlib;
  z.next_out = reinterpret_cast<Bytef*>(chunk_.data());
  z.avail_out = static_cast<uInt>(room);
  while (z.avail_out > 0) {
    if (z.avail_in == 0 && fed_ < data_.size()) {
      const std::size_t n = std::min(kMaxFeed, data_.size() - fed_);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data_.data() + fed_));
      z.avail_in = static_cast<uInt>(n);
      fed_ += n;
    }
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && z.avail_in == 0 && fed_ == data_.size())) {
      ended_ = true;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      error_ = std::string("the zlib data is damaged") + (z.msg ? std::string(" (") + z.msg + ")" : "");
      ended_ = true;
      break;
    }
  }
  chunk_.resize(room - z.avail_out);
  return !chunk_.empty();
}

bool SwfBody::Unlzma(std::size_t room) {
  Streams& s = *streams_;
  lzma_stream& z = s.lzma;
  z.next_out = reinterpret_cast<std::uint8_t*>(chunk_.data());
  z.avail_out = room;
  while (z.avail_out > 0) {
    if (z.avail_in == 0 && !s.headerFed) {
      z.next_in = s.lzmaHeader;
      z.avail_in = sizeof s.lzmaHeader;
      s.headerFed = true;
    } else if (z.avail_in == 0 && fed_ < data_.size()) {
      const std::size_t n = std::min(kMaxFeed, data_.size() - fed_);
      z.next_in = reinterpret_cast<const std::uint8_t*>(data_.data() + fed_);
      z.avail_in = n;
      fed_ += n;
    }
    const bool last = s.headerFed && fed_ == data_.size();
    const lzma_ret rc = lzma_code(&z, last ? LZMA_FINISH : LZMA_RUN);
    if (rc == LZMA_STREAM_END || rc == LZMA_BUF_ERROR) {  // the end, or the input used up
      ended_ = true;
      break;
    }
    if (rc != LZMA_OK) {
      error_ = rc == LZMA_MEMLIMIT_ERROR ? "the LZMA data needs too much memory" : "the LZMA data is damaged";
      ended_ = true;
      break;
    }
  }
  chunk_.resize(room - z.avail_out);
  return !chunk_.empty();
}

// A new chunk; false when there is none.
bool SwfBody::Fill() {
  if (compression_ == 'F' || ended_ || produced_ >= expected_) return false;
  const std::size_t room = std::min(kChunk, expected_ - produced_);
  chunk_.resize(room);
  chunkPos_ = 0;
  const bool got = compression_ == 'C' ? Inflate(room) : Unlzma(room);
  produced_ += chunk_.size();
  if (ended_ && produced_ < expected_ && error_.empty())
    error_ = "the compressed data ends after " + std::to_string(produced_) + " of the " +
             std::to_string(expected_) + " bytes the header declares";
  return got;
}

std::size_t SwfBody::Offset() const {
  return compression_ == 'F' ? chunkPos_ : produced_ - (chunk_.size() - chunkPos_);
}

bool SwfBody::AtEnd() {
  if (compression_ == 'F') return chunkPos_ >= expected_;
  return chunkPos_ >= chunk_.size() && !Fill();
}

bool SwfBody::Take(std::size_t count, std::string_view& out, std::string& scratch) {
  if (compression_ == 'F') {
    if (expected_ - chunkPos_ < count) return false;
    out = data_.substr(chunkPos_, count);
    chunkPos_ += count;
    return true;
  }
  scratch.clear();
  while (scratch.size() < count) {
    if (chunkPos_ >= chunk_.size() && !Fill()) return false;
    const std::size_t n = std::min(count - scratch.size(), chunk_.size() - chunkPos_);
    scratch.append(chunk_, chunkPos_, n);
    chunkPos_ += n;
  }
  out = scratch;
  return true;
}

bool SwfBody::Skip(std::size_t count) {
  if (compression_ == 'F') {
    if (expected_ - chunkPos_ < count) return false;
    chunkPos_ += count;
    return true;
  }
  while (count > 0) {
    if (chunkPos_ >= chunk_.size() && !Fill()) return false;
    const std::size_t n = std::min(count, chunk_.size() - chunkPos_);
    chunkPos_ += n;
    count -= n;
  }
  return true;
}

}  // namespace tavimo
