#include "base/http/ChunkedBody.h"

#include <algorithm>
#include <cstring>

#include "base/TextUtils.h"
#include "base/http/HttpHead.h"

namespace tavimo {

ChunkedBody::Result ChunkedBody::fail(std::string why) {
  state_ = State::Failed;
  error_ = std::move(why);
  return Result::Error;
}

bool ChunkedBody::sizeLine(const std::string& line) {
  std::uint64_t n = 0;
  std::size_t i = 0;
  for (; i < line.size() && AsciiHexValue(line[i]) >= 0; ++i) {
    if (n >> 56) return false;  // beyond any body we would take
    n = n * 16 + static_cast<std::uint64_t>(AsciiHexValue(line[i]));
  }
  if (i == 0) return false;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && line[i] != ';') return false;
  left_ = n;
  state_ = n == 0 ? State::Trailer : State::Data;
  return true;
}

ChunkedBody::Result ChunkedBody::Feed(const char* data, std::size_t len, std::size_t& used,
                                      const Sink& sink) {
  used = 0;
  for (;;) {
    if (state_ == State::Done) return Result::Done;
    if (state_ == State::Failed) return Result::Error;
    if (used == len) return Result::More;
    if (state_ == State::Data) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, len - used));
      const bool go = sink(data + used, n);
      used += n;
      left_ -= n;
      if (left_ == 0) state_ = State::DataEnd;
      if (!go) return Result::Stopped;
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
    if (state_ == State::Size) {
      if (!sizeLine(line)) return fail("bad chunk size \"" + ShownText(line) + "\"");
    } else if (state_ == State::DataEnd) {
      if (!line.empty()) return fail("a chunk is longer than its size");
      state_ = State::Size;
    } else if (line.empty()) {
      state_ = State::Done;
    }
  }
}

}  // namespace tavimo
