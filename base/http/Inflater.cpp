#include "base/http/Inflater.h"

#include <zlib.h>

#include "base/TextUtils.h"

namespace tavimo {

struct TInflater::Stream {
  z_stream z{};
  bool open = false;
  ~Stream() {
    if (open) inflateEnd(&z);
  }
};

bool TInflater::Supports(const std::string& encoding) {
  return encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate";
}

bool TInflater::IsIdentity(const std::string& encoding) {
  return encoding.empty() || EqualsNoCase(encoding, "identity");
}

TInflater::TInflater(const std::string& encoding)
    : z_(std::make_unique<Stream>()), gzip_(encoding != "deflate") {}

TInflater::~TInflater() = default;

bool TInflater::start(const char* data, std::size_t len) {
  head_.append(data, len);
  if (head_.size() < 2) return true;
  // "deflate" is meant to be zlib-framed; a first byte pair that is no zlib header is bare data.
  const unsigned char b0 = static_cast<unsigned char>(head_[0]);
  const unsigned char b1 = static_cast<unsigned char>(head_[1]);
  const bool zlibHeader = (b0 & 0x0f) == 8 && ((b0 << 8) | b1) % 31 == 0;
  const int bits = gzip_ ? 15 + 16 : zlibHeader ? 15 : -15;
  if (inflateInit2(&z_->z, bits) != Z_OK) {
    error_ = "cannot start the decompressor";
    return false;
  }
  z_->open = true;
  started_ = true;
  return true;
}

bool TInflater::Feed(const char* data, std::size_t len, const Sink& sink) {
  if (!error_.empty()) return false;
  std::string held;
  if (!started_) {
    if (!start(data, len)) return false;
    if (!started_) return true;
    held.swap(head_);
    data = held.data();
    len = held.size();
  }
  char out[16384];
  z_->z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z_->z.avail_in = static_cast<uInt>(len);
  while (!finished_ && (z_->z.avail_in > 0)) {
    z_->z.next_out = reinterpret_cast<Bytef*>(out);
    z_->z.avail_out = sizeof out;
    const int rc = inflate(&z_->z, Z_NO_FLUSH);
    const std::size_t got = sizeof out - z_->z.avail_out;
    if (got > 0) sink(out, got);
    if (rc == Z_STREAM_END) {
      finished_ = true;
    } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && got > 0)) {
      error_ =
          std::string("the compressed body is damaged") + (z_->z.msg ? std::string(": ") + z_->z.msg : "");
      return false;
    }
  }
  // Output may still be waiting in zlib after the input is used up.
  while (!finished_ && z_->z.avail_in == 0) {
    z_->z.next_out = reinterpret_cast<Bytef*>(out);
    z_->z.avail_out = sizeof out;
    const int rc = inflate(&z_->z, Z_NO_FLUSH);
    const std::size_t got = sizeof out - z_->z.avail_out;
    if (got > 0) sink(out, got);
    if (rc == Z_STREAM_END) finished_ = true;
    if (got == 0 || rc != Z_OK) break;
  }
  return true;
}

}  // namespace tavimo
