#pragma once
// How an answer's body is framed and encoded, from its status and head: no body (interim
// answers, 101, 204, 304, the answer to HEAD), a Content-Length, chunks, or the end of the
// connection; and the content coding to undo. Faulty framing is an error, never a guess.
#include <cstdint>
#include <string>
#include <string_view>

namespace tavimo {

struct BodyFraming {
  enum class Kind { None, Length, Chunked, Close };
  Kind kind = Kind::Close;
  std::uint64_t length = 0;   // Kind::Length
  std::string contentCoding;  // "gzip", "x-gzip" or "deflate"; "" for none
  std::string error;          // the body cannot be read: framing or coding refused
};

// The fields that frame a body, taken as the head's lines come. Repeated fields count as one
// list, as HTTP combines them.
class FramingFields {
 public:
  // Notes a field if it frames the body; other names are ignored.
  void Add(std::string_view name, std::string_view value);
  bool Chunked() const;
  BodyFraming Decide(int status, bool headRequest = false) const;
  void Clear() { *this = FramingFields(); }

 private:
  std::string contentLength_;
  std::string transferEncoding_;
  std::string contentEncoding_;
  bool hasLength_ = false;
};

// The framing of a whole head (status line first).
BodyFraming BodyFramingOf(std::string_view head, bool headRequest = false);

}  // namespace tavimo
