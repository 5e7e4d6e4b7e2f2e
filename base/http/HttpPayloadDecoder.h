#pragma once
// The payload of a stored HTTP response, from the bytes after its head: "Transfer-Encoding:
// chunked" undone, then "Content-Encoding: gzip" / "deflate" undone, bounded by the head's
// Content-Length when there is one. Fed in pieces of any size; says when the payload was whole.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/http/Inflater.h"

namespace tavimo {

class THttpPayloadDecoder {
 public:
  // False stops the decoding (the caller has what it wants, or cannot take more).
  using Sink = std::function<bool(const char* data, std::size_t len)>;
  enum class Result { More, Done, Stopped, Error };

  // head: status line and header lines as stored.
  explicit THttpPayloadDecoder(const std::string& head);
  ~THttpPayloadDecoder();
  THttpPayloadDecoder(const THttpPayloadDecoder&) = delete;
  THttpPayloadDecoder& operator=(const THttpPayloadDecoder&) = delete;

  // Done once the framing says the payload is complete (later bytes are not looked at).
  Result Feed(const char* data, std::size_t len, const Sink& sink);
  // No more bytes: Done when the payload was whole, else Error with the reason.
  Result Finish();
  const std::string& Error() const { return error_; }

  // Longest chunk-size or trailer line.
  static constexpr std::size_t kMaxLineBytes = 4096;

 private:
  Result fail(std::string why);
  Result deliver(const char* data, std::size_t len, const Sink& sink);
  Result dechunk(const char* data, std::size_t len, const Sink& sink);

  enum class Chunk { Size, Data, DataEnd, Trailer, Done };
  bool chunked_ = false;
  Chunk chunk_ = Chunk::Size;
  std::string line_;
  std::uint64_t chunkLeft_ = 0;
  std::optional<std::uint64_t> lengthLeft_;  // the head's Content-Length, not chunked
  std::unique_ptr<TInflater> inflater_;
  bool stopped_ = false;
  bool done_ = false;
  std::string error_;
};

// The value of the first header `name` (ASCII case ignored) in a stored head, trimmed; "" when
// absent.
std::string HttpHeaderValue(const std::string& head, const std::string& name);

}  // namespace tavimo
