#include "base/http/HttpPayloadDecoder.h"

#include <algorithm>
#include <cstring>

#include "base/TextUtils.h"

namespace tavimo {

namespace {

std::string LowerTrimmed(const std::string& s) { return AsciiLowerCopy(Trim(s)); }

int StatusOf(const std::string& head) {
  const std::size_t sp = head.find(' ');
  if (sp == std::string::npos || head.size() < sp + 4) return 0;
  int status = 0;
  for (std::size_t i = sp + 1; i < sp + 4; ++i) {
    if (head[i] < '0' || head[i] > '9') return 0;
    status = status * 10 + (head[i] - '0');
  }
  return status;
}

// Feeding the inflater in small slices lets a stop take effect soon, even on a gzip bomb.
constexpr std::size_t kInflateSlice = 4096;

}  // namespace

std::string HttpHeaderValue(const std::string& head, const std::string& name) {
  std::size_t line = head.find('\n');
  while (line != std::string::npos && line + 1 < head.size()) {
    const std::size_t start = line + 1;
    const std::size_t end = std::min(head.find('\n', start), head.size());
    const std::size_t colon = head.find(':', start);
    if (colon < end && colon - start == name.size() &&
        EqualsNoCase(std::string_view(head).substr(start, name.size()), name)) {
      std::string_view value = std::string_view(head).substr(colon + 1, end - colon - 1);
      if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
      return std::string(Trim(value));
    }
    line = end < head.size() ? end : std::string::npos;
  }
  return {};
}

THttpPayloadDecoder::THttpPayloadDecoder(const std::string& head) {
  const int status = StatusOf(head);
  if ((status >= 100 && status < 200) || status == 204 || status == 304) {
    done_ = true;  // these answers have no body, whatever their headers say
    return;
  }
  const std::string transfer = LowerTrimmed(HttpHeaderValue(head, "Transfer-Encoding"));
  if (!transfer.empty() && transfer != "identity") {
    if (transfer == "chunked" || transfer.ends_with(", chunked") || transfer.ends_with(",chunked")) {
      chunked_ = transfer == "chunked";
    }
    if (!chunked_) {
      error_ = "the payload has a transfer encoding Tavimo cannot undo (" + transfer + ")";
      return;
    }
  }
  const std::string encoding = LowerTrimmed(HttpHeaderValue(head, "Content-Encoding"));
  if (TInflater::Supports(encoding)) {
    inflater_ = std::make_unique<TInflater>(encoding);
  } else if (!TInflater::IsIdentity(encoding)) {
    error_ = "the payload has a content encoding Tavimo cannot undo (" + encoding + ")";
    return;
  }
  const std::string length = HttpHeaderValue(head, "Content-Length");
  if (!chunked_ && !length.empty() && length.size() <= 18 &&
      std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    lengthLeft_ = std::stoull(length);
  }
}

THttpPayloadDecoder::~THttpPayloadDecoder() = default;

THttpPayloadDecoder::Result THttpPayloadDecoder::fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
  return Result::Error;
}

THttpPayloadDecoder::Result THttpPayloadDecoder::deliver(const char* data, std::size_t len,
                                                         const Sink& sink) {
  if (!inflater_) {
    if (len > 0 && !sink(data, len)) stopped_ = true;
    return stopped_ ? Result::Stopped : Result::More;
  }
  const TInflater::Sink out = [&](const char* p, std::size_t n) {
    if (!stopped_ && !sink(p, n)) stopped_ = true;
  };
  for (std::size_t at = 0; at < len && !stopped_ && !inflater_->Finished(); at += kInflateSlice) {
    if (!inflater_->Feed(data + at, std::min(kInflateSlice, len - at), out)) return fail(inflater_->Error());
  }
  return stopped_ ? Result::Stopped : Result::More;
}

THttpPayloadDecoder::Result THttpPayloadDecoder::Feed(const char* data, std::size_t len, const Sink& sink) {
  if (!error_.empty()) return Result::Error;
  if (done_) return Result::Done;
  if (stopped_) return Result::Stopped;
  if (chunked_) return dechunk(data, len, sink);
  if (!lengthLeft_) return deliver(data, len, sink);
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len, *lengthLeft_));
  *lengthLeft_ -= n;
  const Result r = deliver(data, n, sink);
  if (r != Result::More || *lengthLeft_ > 0) return r;
  return Finish();
}

THttpPayloadDecoder::Result THttpPayloadDecoder::dechunk(const char* data, std::size_t len,
                                                         const Sink& sink) {
  std::size_t at = 0;
  while (at < len) {
    if (chunk_ == Chunk::Data) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len - at, chunkLeft_));
      chunkLeft_ -= n;
      const Result r = deliver(data + at, n, sink);
      at += n;
      if (r != Result::More) return r;
      if (chunkLeft_ == 0) chunk_ = Chunk::DataEnd;
      continue;
    }
    // The size line, the line end after a chunk's data and the trailer lines.
    const char* nl = static_cast<const char*>(std::memchr(data + at, '\n', len - at));
    const std::size_t take = nl ? static_cast<std::size_t>(nl - (data + at)) : len - at;
    if (line_.size() + take > kMaxLineBytes) return fail("a line of the chunked payload is too long");
    line_.append(data + at, take);
    at += take;
    if (!nl) break;
    ++at;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    std::string line;
    line.swap(line_);
    if (chunk_ == Chunk::DataEnd) {
      if (!line.empty()) return fail("a chunk of the payload is longer than its size says");
      chunk_ = Chunk::Size;
    } else if (chunk_ == Chunk::Trailer) {
      if (line.empty()) {
        chunk_ = Chunk::Done;
        return Finish();
      }
    } else {
      std::uint64_t size = 0;
      std::size_t digits = 0;
      for (; digits < line.size(); ++digits) {
        const int v = AsciiHexValue(line[digits]);
        if (v < 0) break;
        if (size >> 56) return fail("a chunk size of the payload is too large");
        size = size * 16 + static_cast<unsigned>(v);
      }
      if (digits == 0 ||
          (digits < line.size() && line[digits] != ';' && line[digits] != ' ' && line[digits] != '\t')) {
        return fail("a chunk size of the payload is not a hexadecimal number");
      }
      chunkLeft_ = size;
      chunk_ = size == 0 ? Chunk::Trailer : Chunk::Data;
    }
  }
  return Result::More;
}

THttpPayloadDecoder::Result THttpPayloadDecoder::Finish() {
  if (!error_.empty()) return Result::Error;
  if (done_) return Result::Done;
  // A last chunk without the blank line after it still ends the payload.
  if (chunked_ && !(chunk_ == Chunk::Done || (chunk_ == Chunk::Trailer && line_.empty()))) {
    return fail("the chunked payload ends before its last chunk");
  }
  if (lengthLeft_ && *lengthLeft_ > 0) {
    return fail("the payload is cut short: " + std::to_string(*lengthLeft_) +
                " bytes of its Content-Length are missing");
  }
  if (inflater_ && !inflater_->Finished()) return fail("the compressed payload is cut short");
  done_ = true;
  return Result::Done;
}

}  // namespace tavimo
