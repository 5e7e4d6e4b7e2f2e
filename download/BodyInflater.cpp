#include "download/BodyInflater.h"

#include <zlib.h>

#include <cctype>

namespace tavimo {

struct TBodyInflater::Stream {
  z_stream s{};
  bool open = false;
};

TBodyInflater::Kind TBodyInflater::KindOf(const std::string& contentEncoding) {
  std::string v;
  for (char c : contentEncoding) v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (v.empty() || v == "identity") return Kind::None;
  if (v == "gzip" || v == "x-gzip") return Kind::Gzip;
  if (v == "deflate") return Kind::Deflate;
  return Kind::Unknown;
}

TBodyInflater::TBodyInflater(Kind kind) : z_(std::make_unique<Stream>()), kind_(kind) {}

TBodyInflater::~TBodyInflater() {
  if (z_->open) inflateEnd(&z_->s);
}

bool TBodyInflater::Init(int windowBits) {
  if (z_->open) inflateEnd(&z_->s);
  z_->s = z_stream{};
  z_->open = inflateInit2(&z_->s, windowBits) == Z_OK;
  return z_->open;
}

bool TBodyInflater::Feed(const char* data, size_t size, std::string& out) {
  out.clear();
  if (kind_ != Kind::Gzip && kind_ != Kind::Deflate) return false;
  if (finished_ || size == 0) return true;
  if (!started_) {
    started_ = true;
    // "deflate" should carry a zlib header, but raw deflate is common: the header's check
    // bits tell them apart (a raw stream passes them only by accident, 1 in 31).
    int bits = 15 + 16;
    if (kind_ == Kind::Deflate) {
      const auto b0 = static_cast<unsigned char>(data[0]);
      const bool zlibHeader =
          size >= 2 && (b0 & 0x0f) == 8 && ((b0 << 8) | static_cast<unsigned char>(data[1])) % 31 == 0;
      bits = zlibHeader || size < 2 ? 15 : -15;
    }
    if (!Init(bits)) return false;
  }
  z_stream& s = z_->s;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  s.avail_in = static_cast<uInt>(size);
  char chunk[64 * 1024];
  // Until the input is used up and zlib holds nothing more (it stops short of a full chunk).
  do {
    const uInt inBefore = s.avail_in;
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    const int r = inflate(&s, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - s.avail_out);
    if (r == Z_STREAM_END) {
      finished_ = true;
      break;
    }
    if (r != Z_OK && r != Z_BUF_ERROR) return false;
    if (s.avail_out == sizeof chunk && s.avail_in == inBefore) break;  // wants more input
  } while (s.avail_out == 0 || s.avail_in > 0);
  return true;
}

}  // namespace tavimo
