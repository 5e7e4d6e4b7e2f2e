#pragma once
// Undoes "Transfer-Encoding: chunked" as bytes arrive in pieces of any size: payload bytes go
// to the sink, sizes, extensions and trailers are dropped. A size line is hex digits, then
// optional blanks, then nothing or ";" and extensions; anything else is a fault. A line longer
// than MaxLineBytes or trailers larger than MaxTrailerBytes are faults too (a hostile server
// cannot make us buffer without end). The body ends with the blank line after the trailers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tavimo {

class ChunkedBody {
 public:
  // False stops the decoding (the caller has what it wants, or cannot take more).
  using Sink = std::function<bool(const char* data, std::size_t len)>;
  enum class Result { More, Done, Stopped, Error };

  // Longest size or trailer line we keep (default 4096 bytes).
  std::size_t MaxLineBytes = 4096;
  // Most trailer bytes in all after the last chunk (default 64 KiB).
  std::size_t MaxTrailerBytes = 64 * 1024;

  // Consumes bytes until the body ends; `used` says how many were taken (later ones belong to
  // whatever follows the body).
  Result Feed(const char* data, std::size_t len, std::size_t& used, const Sink& sink);
  bool Done() const { return state_ == State::Done; }
  const std::string& Error() const { return error_; }

 private:
  enum class State { Size, Data, DataEnd, Trailer, Done, Failed };
  Result fail(std::string why);
  bool sizeLine(const std::string& line);

  State state_ = State::Size;
  std::string line_;
  std::uint64_t left_ = 0;
  std::size_t trailerBytes_ = 0;
  std::string error_;
};

}  // namespace tavimo
