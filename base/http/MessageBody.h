#pragma once
// An answer's body, read from the bytes after its head by the rules of its framing: no body, a
// Content-Length, chunks or the end of the bytes; then its content coding undone. Fed in
// pieces of any size; says when the framing is complete and, when the bytes end, whether the
// body was whole. Every reader of HTTP answers (page client, file getter, web archives, caches)
// decides by it, so the same bytes get the same verdict everywhere.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/http/BodyFraming.h"
#include "base/http/ChunkedBody.h"
#include "base/http/ContentDecoder.h"

namespace tavimo {

class MessageBody {
 public:
  // False stops the reading (the caller has what it wants, or cannot take more).
  using Sink = std::function<bool(const char* data, std::size_t len)>;
  enum class Result { More, Done, Stopped, Error };

  // A framing with an error makes every call an Error with that reason.
  explicit MessageBody(BodyFraming framing);
  ~MessageBody();
  MessageBody(const MessageBody&) = delete;
  MessageBody& operator=(const MessageBody&) = delete;

  // The chunk decoder's bounds, for the caller to set before the first Feed.
  ChunkedBody& Chunks() { return chunks_; }

  // Done once the framing says the body is complete (later bytes are not the body's: `used`
  // says how many were taken).
  Result Feed(const char* data, std::size_t len, const Sink& sink, std::size_t* used = nullptr);
  // The bytes ended in order (a close, the end of a record or file): Done when the body was
  // whole, else Error with the reason.
  Result Finish();
  const std::string& Error() const { return error_; }
  // The error is an early end (of the length, the chunks or the coded stream), not a fault.
  bool EndedEarly() const { return endedEarly_; }

  const BodyFraming& Framing() const { return framing_; }
  // Body bytes taken, as framed (chunk sizes included) and once the chunks are undone.
  std::uint64_t WireBytes() const { return wire_; }
  std::uint64_t PayloadBytes() const { return payload_; }

 private:
  Result fail(std::string why);
  Result deliver(const char* data, std::size_t len, const Sink& sink);

  BodyFraming framing_;
  ChunkedBody chunks_;
  std::unique_ptr<ContentDecoder> decoder_;
  std::uint64_t wire_ = 0;
  std::uint64_t payload_ = 0;
  bool done_ = false;
  bool stopped_ = false;
  bool endedEarly_ = false;
  std::string error_;
};

}  // namespace tavimo
