#pragma once
// The body of a movie (everything after the 8-byte header) as a stream: plain bytes, or zlib
// ("CWS") or LZMA ("ZWS") decompressed a chunk at a time. Tags that hold no code are skipped
// through without being kept, so memory stays at one chunk plus the largest tag read, whatever
// the movie decompresses to. It never yields more than `expected` bytes, the length the header
// declares (which the caller has held against its limit).
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tavimo {

class SwfBody {
 public:
  // 'F': `data` is the body itself. 'C': zlib data. 'Z': the five LZMA property bytes (lc/lp/pb
  // and the dictionary size), then the LZMA data.
  SwfBody(char compression, std::string_view data, std::size_t expected);
  ~SwfBody();
  SwfBody(const SwfBody&) = delete;
  SwfBody& operator=(const SwfBody&) = delete;

  // The next `count` bytes, viewed in the plain data or copied into `scratch`; false (with
  // Error() saying why) when the body ends before them.
  bool Take(std::size_t count, std::string_view& out, std::string& scratch);
  bool Skip(std::size_t count);
  // Bytes taken or skipped so far.
  std::size_t Offset() const;
  // No bytes left (a compressed body is asked for one more chunk to know).
  bool AtEnd();
  // Why the body ended before `expected` bytes; empty while it has not.
  const std::string& Error() const { return error_; }

 private:
  bool Fill();
  bool Inflate(std::size_t room);
  bool Unlzma(std::size_t room);

  struct Streams;
  char compression_;
  std::string_view data_;
  std::size_t expected_;
  std::size_t produced_ = 0;  // bytes decompressed into chunk_ so far
  std::size_t fed_ = 0;       // bytes of data_ handed to the decompressor
  std::string chunk_;
  std::size_t chunkPos_ = 0;
  bool ended_ = false;
  std::string error_;
  std::unique_ptr<Streams> streams_;
};

}  // namespace tavimo
