#pragma once
// Undoes "Content-Encoding: gzip" or "deflate" (zlib framing, or the bare deflate data many
// servers send under that name) with zlib, piece by piece.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tavimo {

class TInflater {
 public:
  using Sink = std::function<void(const char* data, std::size_t len)>;

  // True for the encodings we can undo ("gzip", "x-gzip", "deflate"; lower case).
  static bool Supports(const std::string& encoding);
  // No encoding at all: "" or "identity" (any case).
  static bool IsIdentity(const std::string& encoding);
  explicit TInflater(const std::string& encoding);
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // False (with Error()) when the data is not what the encoding says.
  bool Feed(const char* data, std::size_t len, const Sink& sink);
  // The compressed stream reached its end marker.
  bool Finished() const { return finished_; }
  const std::string& Error() const { return error_; }

 private:
  bool start(const char* data, std::size_t len);

  struct Stream;
  std::unique_ptr<Stream> z_;
  bool gzip_;
  bool started_ = false;
  bool finished_ = false;
  std::string head_;  // the first bytes, until the framing is known
  std::string error_;
};

}  // namespace tavimo
