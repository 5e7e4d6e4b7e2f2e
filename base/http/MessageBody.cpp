#include "base/http/MessageBody.h"

#include <algorithm>

namespace tavimo {

MessageBody::MessageBody(BodyFraming framing) : framing_(std::move(framing)) {
  error_ = framing_.error;
  if (framing_.kind == BodyFraming::Kind::None) done_ = true;  // whatever its headers say
  else decoder_ = std::make_unique<ContentDecoder>(framing_.contentCoding);
  if (framing_.kind == BodyFraming::Kind::Length && framing_.length == 0) Finish();
}

MessageBody::~MessageBody() = default;

MessageBody::Result MessageBody::fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
  return Result::Error;
}

MessageBody::Result MessageBody::deliver(const char* data, std::size_t len, const Sink& sink) {
  payload_ += len;
  switch (decoder_->Feed(data, len, sink)) {
    case ContentDecoder::Result::Error: return fail(decoder_->Error());
    case ContentDecoder::Result::Stopped: stopped_ = true; return Result::Stopped;
    default: return Result::More;
  }
}

MessageBody::Result MessageBody::Feed(const char* data, std::size_t len, const Sink& sink,
                                      std::size_t* used) {
  if (used) *used = 0;
  if (!error_.empty()) return Result::Error;
  if (done_) return Result::Done;
  if (stopped_) return Result::Stopped;
  std::size_t took = len;
  Result r = Result::More;
  if (framing_.kind == BodyFraming::Kind::Chunked) {
    Result inner = Result::More;
    const auto step = chunks_.Feed(data, len, took, [&](const char* p, std::size_t n) {
      inner = deliver(p, n, sink);
      return inner == Result::More;
    });
    if (step == ChunkedBody::Result::Error) r = fail(chunks_.Error());
    else if (inner != Result::More) r = inner;
    else if (step == ChunkedBody::Result::Done) r = Finish();
  } else if (framing_.kind == BodyFraming::Kind::Length) {
    took = static_cast<std::size_t>(std::min<std::uint64_t>(len, framing_.length - wire_));
    r = deliver(data, took, sink);
    wire_ += took;
    if (r == Result::More && wire_ == framing_.length) r = Finish();
    if (used) *used = took;
    return r;
  } else {
    r = deliver(data, len, sink);
  }
  wire_ += took;
  if (used) *used = took;
  return r;
}

MessageBody::Result MessageBody::Finish() {
  if (!error_.empty()) return Result::Error;
  if (done_) return Result::Done;
  endedEarly_ = true;
  if (framing_.kind == BodyFraming::Kind::Chunked && !chunks_.Done())
    return fail("the body ended before its last chunk");
  if (framing_.kind == BodyFraming::Kind::Length && wire_ < framing_.length) {
    return fail("the body ended after " + std::to_string(wire_) + " of " + std::to_string(framing_.length) +
                " bytes");
  }
  const std::string coded = decoder_->Finish();
  endedEarly_ = decoder_->Error().empty();
  if (!coded.empty()) return fail(coded);
  endedEarly_ = false;
  done_ = true;
  return Result::Done;
}

}  // namespace tavimo
