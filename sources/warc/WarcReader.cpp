#include "sources/warc/WarcReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/TextUtils.h"
#include "base/http/BodyFraming.h"
#include "base/http/HttpHead.h"
#include "base/http/MessageBody.h"

namespace tavimo {

namespace {

bool IsVersion(std::string_view line) {
  if (!line.starts_with("WARC/1.") || line.size() == 7) return false;
  return std::all_of(line.begin() + 7, line.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseLength(std::string_view v, std::uint64_t& out) {
  if (v.empty() || v.size() > 18) return false;
  out = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

}  // namespace

std::string TWarcRecord::Field(std::string_view name) const {
  for (const auto& [n, v] : fields) {
    if (EqualsNoCase(n, name)) return v;
  }
  return {};
}

TWarcReader::TWarcReader(Source source) : stream_(std::move(source)) {}

TWarcReader::~TWarcReader() = default;

TWarcReader::Source TWarcReader::FileSource(int fd) {
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return [fd](char* buf, std::size_t len) -> std::ptrdiff_t {
    for (;;) {
      const ssize_t n = ::read(fd, buf, len);
      if (n >= 0 || errno != EINTR) return n;
    }
  };
}

TWarcReader::Source TWarcReader::MemorySource(std::string_view bytes) {
  return [bytes, at = std::size_t{0}](char* buf, std::size_t len) mutable -> std::ptrdiff_t {
    const std::size_t n = std::min(len, bytes.size() - at);
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

std::string TWarcReader::endReason() const {
  return stream_.Broken()
             ? stream_.Error()
             : "the file ends inside the record's block (its Content-Length goes beyond the end)";
}

bool TWarcReader::skipBlock(std::uint64_t n, std::string& why) {
  while (n > 0) {
    if (stream_.Available() == 0 && !stream_.More()) {
      why = endReason();
      return false;
    }
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, stream_.Available()));
    stream_.Consume(k);
    n -= k;
    blockLeft_ -= k;
  }
  return true;
}

bool TWarcReader::finishRecord(TWarcDamage& damage) {
  damage.offset = recordOffset_;
  if (!skipBlock(blockLeft_, damage.reason)) return false;
  if (!stream_.Fill(4) || std::memcmp(stream_.Data(), "\r\n\r\n", 4) != 0) {
    damage.reason = stream_.Broken()
                        ? stream_.Error()
                        : "the record's block is not followed by CRLF CRLF (its Content-Length is wrong)";
    return false;
  }
  stream_.Consume(4);
  return true;
}

void TWarcReader::skipLineEnds() {
  while (stream_.Fill(1) && (stream_.Data()[0] == '\r' || stream_.Data()[0] == '\n')) stream_.Consume(1);
}

void TWarcReader::resync() {
  if (stream_.Broken()) {
    stream_.Recover();
    return;
  }
  if (aligned_ && stream_.Compressed()) {
    stream_.SkipToNextMember();
    return;
  }
  // The next "WARC/1." at a line start, at least one byte on (never the same head again).
  if (!stream_.Fill(1)) return;
  stream_.Consume(1);
  static constexpr std::string_view kMark = "\nWARC/1.";
  for (;;) {
    const std::string_view window(stream_.Data(), stream_.Available());
    const std::size_t at = window.find(kMark);
    if (at != std::string_view::npos) {
      stream_.Consume(at + 1);
      return;
    }
    if (window.size() >= kMark.size()) stream_.Consume(window.size() - (kMark.size() - 1));
    if (!stream_.More()) {
      if (!stream_.Broken()) stream_.Consume(stream_.Available());
      return;
    }
  }
}

TWarcReader::Step TWarcReader::Next(TWarcRecord& record, TWarcDamage& damage) {
  if (inRecord_) {
    inRecord_ = false;
    TWarcDamage found;
    if (!finishRecord(found)) {
      needResync_ = true;
      if (!damageReported_) {
        damage = found;
        return Step::Damaged;
      }
    }
  }
  if (needResync_) {
    needResync_ = false;
    resync();
  }
  skipLineEnds();
  if (stream_.Available() == 0) {
    if (!stream_.Broken()) return Step::End;
    damage = {stream_.ErrorOffset(), stream_.Error()};
    stream_.Recover();
    return Step::Damaged;
  }
  record = TWarcRecord{};
  recordOffset_ = record.offset = stream_.FileOffset();
  record.decodedOffset = stream_.Position();
  aligned_ = stream_.AtMemberStart();
  damageReported_ = false;
  payloadRead_ = false;
  if (!readHead(record, damage)) {
    needResync_ = true;
    return Step::Damaged;
  }
  httpBlock_ = false;
  httpHead_.clear();
  if (record.type == "response") {
    const std::string type = AsciiLowerCopy(Trim(record.contentType));
    if (type.starts_with("application/http")) readHttpHead(record);
  }
  inRecord_ = true;
  return Step::Record;
}

bool TWarcReader::readHead(TWarcRecord& record, TWarcDamage& damage) {
  damage.offset = record.offset;
  std::size_t linesEnd = 0;
  std::size_t end = std::string_view::npos;
  for (;;) {
    end = HttpHeadEnd(std::string_view(stream_.Data(), stream_.Available()), linesEnd);
    if (end != std::string_view::npos) break;
    if (stream_.Available() > kMaxHeadBytes) {
      damage.reason = "the record head is longer than 1 MiB";
      return false;
    }
    if (!stream_.More()) {
      if (stream_.Broken()) {
        damage = {stream_.ErrorOffset(), stream_.Error()};
      } else {
        damage.reason = std::string_view(stream_.Data(), stream_.Available()).starts_with("WARC/1.")
                            ? "the file ends inside a record head"
                            : "stray bytes at the end of the file";
      }
      return false;
    }
  }
  std::string_view head(stream_.Data(), linesEnd);
  std::size_t nl = head.find('\n');
  std::string_view first = head.substr(0, nl);
  if (first.ends_with('\r')) first.remove_suffix(1);
  if (!IsVersion(first)) {
    damage.reason = "no WARC record starts here";
    return false;
  }
  record.version = first;
  head.remove_prefix(nl + 1);
  while (!head.empty()) {
    nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head.remove_prefix(nl == std::string_view::npos ? head.size() : nl + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !record.fields.empty()) {
      std::string& value = record.fields.back().second;  // a folded line continues the value
      if (!value.empty()) value += ' ';
      value += Trim(line);
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || Trim(line.substr(0, colon)).size() != colon) {
      damage.reason = "a line of the record head is not a named field";
      return false;
    }
    record.fields.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
  }
  if (!ParseLength(record.Field("Content-Length"), record.contentLength)) {
    damage.reason = "the record head has no valid Content-Length";
    return false;
  }
  record.type = record.Field("WARC-Type");
  std::string uri = record.Field("WARC-Target-URI");
  if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>') uri = uri.substr(1, uri.size() - 2);
  record.targetUri = std::move(uri);
  record.date = record.Field("WARC-Date");
  record.recordId = record.Field("WARC-Record-ID");
  record.contentType = record.Field("Content-Type");
  stream_.Consume(end);
  blockLeft_ = record.contentLength;
  return true;
}

void TWarcReader::readHttpHead(TWarcRecord& record) {
  record.httpBlock = true;
  for (;;) {
    std::size_t linesEnd = 0;
    std::size_t end = std::string_view::npos;
    for (;;) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(stream_.Available(), blockLeft_));
      end = HttpHeadEnd(std::string_view(stream_.Data(), n), linesEnd);
      if (end != std::string_view::npos) break;
      if (n == blockLeft_ || n > kMaxHeadBytes) {
        record.httpProblem = n > kMaxHeadBytes ? "the HTTP head is longer than 1 MiB"
                                               : "the HTTP head has no end within the record";
        return;
      }
      if (!stream_.More()) {
        record.httpProblem = "the record ends inside the HTTP head";
        return;
      }
    }
    const std::string_view head(stream_.Data(), linesEnd);
    const int status = HttpStatusOf(head, true);
    if (status == 0) {
      record.httpProblem = "the record's block is not an HTTP response";
      return;
    }
    if (IsInterimStatus(status)) {  // the real answer follows
      stream_.Consume(end);
      blockLeft_ -= end;
      continue;
    }
    record.httpStatus = status;
    record.httpHead = head;
    httpHead_ = record.httpHead;
    httpBlock_ = true;
    stream_.Consume(end);
    blockLeft_ -= end;
    return;
  }
}

TWarcPayloadResult TWarcReader::StreamPayload(const Sink& sink) {
  TWarcPayloadResult result;
  if (!inRecord_ || payloadRead_) {
    result.error = "there is no payload to read (no current record, or it was read already)";
    return result;
  }
  payloadRead_ = true;
  if (!httpBlock_) {
    result.error = "the record holds no readable HTTP response";
    return result;
  }
  MessageBody decoder(BodyFramingOf(httpHead_));
  const MessageBody::Sink counted = [&](const char* data, std::size_t len) {
    result.bytes += len;
    return sink(data, len);
  };
  auto step = MessageBody::Result::More;
  while (step == MessageBody::Result::More) {
    if (blockLeft_ == 0) {
      step = decoder.Finish();
      break;
    }
    if (stream_.Available() == 0 && !stream_.More()) {
      result.error = endReason();
      result.recordDamaged = damageReported_ = true;
      return result;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(stream_.Available(), blockLeft_));
    step = decoder.Feed(stream_.Data(), n, counted);
    stream_.Consume(n);
    blockLeft_ -= n;
  }
  result.complete = step == MessageBody::Result::Done;
  result.stopped = step == MessageBody::Result::Stopped;
  if (step == MessageBody::Result::Error) result.error = decoder.Error();
  return result;
}

TWarcPayloadResult TWarcReader::ReadPayload(std::string& out, std::size_t limit) {
  out.clear();
  bool cut = false;
  TWarcPayloadResult result = StreamPayload([&](const char* data, std::size_t len) {
    const std::size_t room = limit - out.size();
    out.append(data, std::min(len, room));
    cut = len > room;
    return !cut;
  });
  if (cut) {
    result.cut = true;
    result.stopped = false;
    result.bytes = out.size();
  }
  return result;
}

}  // namespace tavimo
