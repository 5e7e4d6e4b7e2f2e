#pragma once
// Undoes a Content-Encoding a server applied although nobody asked for one: "gzip" (also
// "x-gzip") and "deflate" (zlib-wrapped as the standard says, or raw as some servers send it).
// Without it the compressed bytes would be saved as the movie.
#include <cstddef>
#include <memory>
#include <string>

namespace tavimo {

class TBodyInflater {
 public:
  enum class Kind { None, Gzip, Deflate, Unknown };
  // The kind of a Content-Encoding value (any case; "identity" and empty are None).
  static Kind KindOf(const std::string& contentEncoding);

  explicit TBodyInflater(Kind kind);
  ~TBodyInflater();
  TBodyInflater(const TBodyInflater&) = delete;
  TBodyInflater& operator=(const TBodyInflater&) = delete;

  // Decodes the next piece of the body, appending the result to out (cleared first). False
  // when the bytes are not of the kind (out is then unusable). Bytes after the end of the
  // compressed stream are dropped.
  bool Feed(const char* data, size_t size, std::string& out);
  // True once the whole compressed stream has been seen: a body that ends earlier is cut.
  bool Finished() const { return finished_; }

 private:
  bool Init(int windowBits);

  struct Stream;
  std::unique_ptr<Stream> z_;
  Kind kind_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace tavimo
