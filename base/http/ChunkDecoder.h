#pragma once
// Undoes "Transfer-Encoding: chunked" as bytes arrive in pieces of any size: payload bytes go
// to the sink, sizes, extensions and trailers are dropped. A line longer than MaxLineBytes or a
// size that is not hex is a fault (a hostile server cannot make us buffer without end).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tavimo {

class TChunkDecoder {
 public:
  using Sink = std::function<void(const char* data, std::size_t len)>;
  enum class Result { More, Done, Error };

  // Longest size or trailer line we keep (default 4096 bytes).
  std::size_t MaxLineBytes = 4096;
  // Most trailer bytes in all after the last chunk (default 64 KiB).
  std::size_t MaxTrailerBytes = 64 * 1024;

  void Reset();
  // Consumes bytes until the last chunk's trailer ends; `used` says how many were taken.
  Result Feed(const char* data, std::size_t len, std::size_t& used, const Sink& sink);
  const std::string& Error() const { return error_; }

 private:
  enum class State { Size, Data, DataEnd, Trailer, Done, Failed };
  Result fail(const std::string& why);

  State state_ = State::Size;
  std::string line_;
  std::uint64_t left_ = 0;
  std::size_t trailerBytes_ = 0;
  std::string error_;
};

}  // namespace tavimo
