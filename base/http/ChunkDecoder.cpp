#include "base/http/ChunkDecoder.h"

#include <cstring>

namespace tavimo {

void TChunkDecoder::Reset() {
  state_ = State::Size;
  line_.clear();
  left_ = 0;
  trailerBytes_ = 0;
  error_.clear();
}

TChunkDecoder::Result TChunkDecoder::fail(const std::string& why) {
  state_ = State::Failed;
  error_ = why;
  return Result::Error;
}

TChunkDecoder::Result TChunkDecoder::Feed(const char* data, std::size_t len, std::size_t& used,
                                          const Sink& sink) {
  used = 0;
  while (used < len || state_ == State::Done || state_ == State::Failed) {
    if (state_ == State::Done) return Result::Done;
    if (state_ == State::Failed) return Result::Error;
    if (state_ == State::Data) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, len - used));
      if (n > 0) sink(data + used, n);
      used += n;
      left_ -= n;
      if (left_ == 0) state_ = State::DataEnd;
      continue;
    }
    // The other states read one line at a time.
    const char* lf = static_cast<const char*>(std::memchr(data + used, '\n', len - used));
    const std::size_t take = lf ? static_cast<std::size_t>(lf - (data + used)) + 1 : len - used;
    if (line_.size() + take > MaxLineBytes)
      return fail("chunk line longer than " + std::to_string(MaxLineBytes) + " bytes");
    line_.append(data + used, take);
    used += take;
    if (state_ == State::Trailer) {
      trailerBytes_ += take;
      if (trailerBytes_ > MaxTrailerBytes)
        return fail("chunk trailer larger than " + std::to_string(MaxTrailerBytes) + " bytes");
    }
    if (!lf) return Result::More;
    std::string line = line_.substr(0, line_.size() - 1);
    line_.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();

    switch (state_) {
      case State::Size: {
        const std::size_t semi = line.find(';');
        std::string hex = line.substr(0, semi);
        while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\t')) hex.pop_back();
        if (hex.empty() || hex.size() > 15) return fail("bad chunk size \"" + line.substr(0, 40) + "\"");
        std::uint64_t n = 0;
        for (char c : hex) {
          int d;
          if (c >= '0' && c <= '9') d = c - '0';
          else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
          else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
          else return fail("bad chunk size \"" + line.substr(0, 40) + "\"");
          n = n * 16 + static_cast<std::uint64_t>(d);
        }
        left_ = n;
        state_ = n == 0 ? State::Trailer : State::Data;
        break;
      }
      case State::DataEnd:
        if (!line.empty()) return fail("chunk longer than its size");
        state_ = State::Size;
        break;
      case State::Trailer:
        if (line.empty()) state_ = State::Done;
        break;
      default: break;
    }
  }
  return Result::More;
}

}  // namespace tavimo
