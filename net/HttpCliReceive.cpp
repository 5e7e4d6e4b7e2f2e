// THttpCli's receive path: line cutting, header fields, body delivery and relocation.
#include "net/HttpCli.h"

#include "base/http/HttpHead.h"
#include "base/http/MessageBody.h"
#include "net/HttpUrl.h"
#include "net/SslLayer.h"
#include "compat/MessageWindow.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"
#include "base/TextUtils.h"

#include <cstring>
#include <string_view>

namespace tavimo {
namespace {

// The scheme of an absolute reference ("ftp" of "ftp://x", "javascript" of "javascript:f()"),
// lower case; empty for a relative one.
std::string schemeOf(const std::string& ref) {
  if (ref.empty() || !IsAsciiAlpha(ref[0])) return {};
  for (std::size_t i = 1; i < ref.size(); ++i) {
    const char c = ref[i];
    if (c == ':') return AsciiLowerCopy(ref.substr(0, i));
    if (!IsAsciiAlnum(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

}  // namespace

void THttpCli::socketDataAvailable(TWSocket*, std::uint16_t) {
  if (state_ == httpWaitingBody && next_ == NextStep::BodyData && rcvCount_ == 0 &&
      requestType_ != httpNone) {
    // Body chunks go out from where the socket holds them: one copy less per chunk.
    const char* chunk = nullptr;
    const int n = ctrlSocket_->ReceiveView(chunk, kBufferSize);
    if (n < 0) noteReceiveError();
    if (n <= 0) return;
    touch();
    if (deadlinePassed()) return;
    bodyData(chunk, n);
    return;
  }
  const int free = kBufferSize - rcvCount_;
  if (free <= 0) {
    endRequest(404, "HTTP line too long", httperrLineTooLong);
    return;
  }
  const int n = ctrlSocket_->Receive(rcvBuf_ + rcvCount_, free);
  if (n < 0) noteReceiveError();
  if (requestType_ == httpNone || n <= 0) return;
  touch();
  if (deadlinePassed()) return;
  if (tunnelAsked_ && !tunnelUp_) {
    tunnelAnswer(n);
    return;
  }
  handleReceived(n);
}

void THttpCli::noteReceiveError() {
  // Kept for the close notice, which comes without it (e.g. a TLS cut without close_notify).
  const int e = ctrlSocket_->LastError();
  if (receiveError_ == 0 && e != 0 && e != WSAEWOULDBLOCK) receiveError_ = static_cast<std::uint16_t>(e);
}

void THttpCli::tunnelAnswer(int n) {
  rcvCount_ += n;
  const std::string_view got(rcvBuf_, static_cast<std::size_t>(rcvCount_));
  std::size_t linesEnd = 0;
  const std::size_t end = HttpHeadEnd(got, linesEnd);
  if (end == std::string_view::npos) return;  // the proxy's answer is not complete yet
  const std::optional<HttpStatusLine> status = ParseStatusLine(got.substr(0, got.find('\n')));
  if (!status || status->code / 100 != 2 || end != static_cast<std::size_t>(rcvCount_)) {
    // The proxy refused (or talked past its answer): its status and reason end the request.
    endRequest(status ? status->code : 404,
               status && !status->reason.empty() ? status->reason : "proxy refused the connection", 0);
    return;
  }
  rcvCount_ = 0;
  tunnelUp_ = true;
  ctrlSocket_->StartTls(targetHost_);  // ends with OnSessionConnected, as a direct connect
}

void THttpCli::BeginResponseForTests() {
  requestType_ = httpGET;
  ++requestId_;
  state_ = httpWaitingHeader;
  next_ = NextStep::HeaderLine;
  rcvCount_ = 0;
  headerLines_ = bodyChunks_ = 0;
  statusCode_ = 0;
  rcvdCount_ = 0;
  resetAnswer();
  closedOnError_ = relocating_ = docEnded_ = false;
  rcvdHeader_.clear();
}

void THttpCli::ReceiveForTests(const char* data, std::size_t len) {
  while (len > 0 && state_ != httpReady) {
    const int free = kBufferSize - rcvCount_;
    if (free <= 0) {
      endRequest(404, "HTTP line too long", httperrLineTooLong);
      return;
    }
    const int n = static_cast<int>(std::min<std::size_t>(len, static_cast<std::size_t>(free)));
    std::memcpy(rcvBuf_ + rcvCount_, data, static_cast<std::size_t>(n));
    data += n;
    len -= static_cast<std::size_t>(n);
    try {
      handleReceived(n);
    } catch (...) {  // as the socket's receive loop would
    }
  }
}

void THttpCli::handleReceived(int n) {
  rcvCount_ += n;
  rcvBuf_[rcvCount_] = 0;
  const std::uintptr_t request = requestId_;

  if (state_ == httpWaitingBody) {
    const int len = rcvCount_;
    rcvCount_ = 0;  // consumed before delivery: a failing handler never sees it twice
    if (next_ == NextStep::BodyData) bodyData(rcvBuf_, len);
    else setReady();
    return;
  }

  while (rcvCount_ > 0 && request == requestId_) {
    if (state_ == httpWaitingBody && next_ == NextStep::BodyData) {
      // The header ended inside this read (a "<HTML>" page): the rest is body as it came.
      const int len = rcvCount_;
      rcvCount_ = 0;
      bodyData(rcvBuf_, len);
      return;
    }
    const void* lf = std::memchr(rcvBuf_, '\n', static_cast<std::size_t>(rcvCount_));
    if (!lf) break;
    const int rawLen = static_cast<int>(static_cast<const char*>(lf) - rcvBuf_) + 1;
    int lineLen = rawLen - 1;
    if (lineLen > 0 && rcvBuf_[lineLen - 1] == '\r') --lineLen;
    const std::string line(rcvBuf_, static_cast<std::size_t>(lineLen));
    const std::string raw(rcvBuf_, static_cast<std::size_t>(rawLen));
    std::memmove(rcvBuf_, rcvBuf_ + rawLen, static_cast<std::size_t>(rcvCount_ - rawLen));
    rcvCount_ -= rawLen;
    rcvBuf_[rcvCount_] = 0;
    if (next_ == NextStep::HeaderLine && state_ == httpWaitingHeader) {
      headBytes_ += static_cast<std::size_t>(rawLen);
      if (MaxHeaderBytes > 0 && headBytes_ > MaxHeaderBytes) {
        endRequest(404, "answer header larger than " + std::to_string(MaxHeaderBytes) + " bytes",
                   httperrTooLarge);
        return;
      }
    }

    if (state_ != httpWaitingHeader && state_ != httpWaitingBody) continue;  // dropped
    if (next_ == NextStep::HeaderLine) headerLine(line, raw.data(), rawLen);
    else if (next_ == NextStep::BodyData) bodyData(raw.data(), rawLen);
    else setReady();
  }
}

void THttpCli::headerLine(const std::string& line, const char* raw, int rawLen) {
  if (headerLines_ == 0) TriggerHeaderBegin();
  ++headerLines_;

  if (StartsWithNoCase(line, "<html>")) {
    noHeaderPage(raw, rawLen);
    return;
  }
  if (line.empty()) {
    if (headerLines_ == 1) {  // a stray blank line before the status line
      headerLines_ = 0;
      return;
    }
    headerEnded();
    return;
  }
  if (headerLines_ == 1) {
    const std::optional<HttpStatusLine> status = ParseStatusLine(line);
    if (!status) {
      endRequest(404, "not an HTTP answer: \"" + ShownText(line) + "\"", httperrBadAnswer);
      return;
    }
    statusCode_ = status->code;
    reasonPhrase_ = status->reason;
  }
  rcvdHeader_.push_back(line);
  if (headerLines_ > 1) {
    if (const std::optional<HttpField> f = SplitHeaderLine(line)) {
      framing_.Add(f->name, f->value);
      headerField(AsciiLowerCopy(f->name), std::string(f->value));
    }
  }
  if (OnHeaderData) OnHeaderData(this);
  if (statusCode_ >= 400) {
    closedOnError_ = true;
    relocating_ = false;
    ctrlSocket_->Close();
  }
}

void THttpCli::headerField(const std::string& name, const std::string& value) {
  if (name == "location") {
    if (!closedOnError_) relocate(value);
  } else if (name == "content-length") {
    // Shown while the head comes in; the framing decides at its end.
    const BodyFraming f = framing_.Decide(200);
    if (f.kind == BodyFraming::Kind::Length) contentLength_ = static_cast<std::int64_t>(f.length);
  } else if (name == "content-range") {
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash != std::string::npos && dash >= 6) ContentRangeBegin = value.substr(6, dash - 6);
    if (dash != std::string::npos && slash != std::string::npos && slash > dash)
      ContentRangeEnd = value.substr(dash + 1, slash - dash - 1);
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "content-type") {
    contentType_ = AsciiLowerCopy(value);
  } else if (name == "www-authenticate") {
    authenticate_.push_back(value);
  } else if (name == "set-cookie") {
    bool accept = true;
    TriggerCookie(value, accept);
  }
}

void THttpCli::noHeaderPage(const char* raw, int rawLen) {
  if (contentType_.empty()) contentType_ = "text/html";
  setState(httpWaitingBody);
  next_ = NextStep::BodyData;
  TriggerHeaderEnd();
  // The page goes out exactly as it came, its line ends included.
  std::string chunk(raw, static_cast<std::size_t>(rawLen));
  chunk.append(rcvBuf_, static_cast<std::size_t>(rcvCount_));
  rcvCount_ = 0;
  body_ = std::make_unique<MessageBody>(BodyFraming{});  // the connection's end ends it
  bodyData(chunk.data(), static_cast<int>(chunk.size()));
}

void THttpCli::headerEnded() {
  if (closedOnError_) {
    // The connection is already closed and the request is ending: nothing more to deliver.
    rcvCount_ = 0;
    next_ = NextStep::None;
    return;
  }
  if (IsInterimStatus(statusCode_)) {
    skipInterim();
    return;
  }
  if (!answerFault_.empty()) {
    endRequest(statusCode_, answerFault_, answerFaultCode_);
    return;
  }
  BodyFraming framing = framing_.Decide(statusCode_, requestType_ == httpHEAD);
  if (!framing.error.empty()) {
    endRequest(statusCode_, framing.error, httperrBadAnswer);
    return;
  }
  if (relocating_) {
    finishRelocationHeader();
    return;
  }
  if (statusCode_ >= 300 && statusCode_ < 400 && statusCode_ != 304) {
    endRequest(statusCode_, "relocation without a Location", httperrBadAnswer);
    return;
  }
  // ContentLength shows the framing's length; an answer without body keeps what its head said.
  if (framing.kind == BodyFraming::Kind::Length) contentLength_ = static_cast<std::int64_t>(framing.length);
  else if (framing.kind != BodyFraming::Kind::None) contentLength_ = -1;
  body_ = std::make_unique<MessageBody>(std::move(framing));
  const std::size_t dot = docName_.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : AsciiLowerCopy(docName_.substr(dot));
  if (ext == ".exe" && contentType_ == "text/html") {
    docName_ = (dot == std::string::npos ? docName_ : docName_.substr(0, dot)) + ".htm";
  }
  const std::uintptr_t request = requestId_;
  setState(httpWaitingBody);
  next_ = NextStep::BodyData;
  TriggerHeaderEnd();
  if (request != requestId_) return;
  if (body_->Feed(nullptr, 0, [](const char*, std::size_t) { return true; }) != MessageBody::Result::More) {
    endBody();  // nothing to wait for: no body, an empty one, or one that cannot be whole
    return;
  }
  if (rcvCount_ > 0) {
    const int len = rcvCount_;
    rcvCount_ = 0;
    bodyData(rcvBuf_, len);
  }
}

void THttpCli::skipInterim() {
  // "100 Continue" and the like: the real answer follows on the same connection.
  headerLines_ = 0;
  rcvdHeader_.clear();
  statusCode_ = 0;
  reasonPhrase_.clear();
  contentLength_ = -1;
  framing_.Clear();
  answerFault_.clear();
  relocating_ = false;
}

void THttpCli::resetAnswer() {
  contentLength_ = -1;
  bodyComplete_ = false;
  framing_.Clear();
  answerFault_.clear();
  answerFaultCode_ = 0;
  headBytes_ = 0;
  receiveError_ = 0;
  body_.reset();
}

void THttpCli::bodyData(const char* data, int len) {
  if (len <= 0 || bodyComplete_ || !body_) return;
  const std::uintptr_t request = requestId_;
  const auto step = body_->Feed(data, static_cast<std::size_t>(len), [&](const char* p, std::size_t n) {
    storeBody(p, static_cast<int>(n));
    return request == requestId_;
  });
  if (request == requestId_ && step != MessageBody::Result::More) endBody();
}

void THttpCli::endBody() {
  if (!body_->Error().empty()) {
    endRequest(statusCode_, body_->Error(), body_->EndedEarly() ? httperrTruncated : httperrBadAnswer);
    return;
  }
  // Everything the framing promised is in: no need to wait for the server to close, nor to tell
  // it we send no more (the request went long ago; the close resets the connection anyway).
  bodyComplete_ = true;
  next_ = NextStep::None;
  rcvCount_ = 0;
  try {
    ctrlSocket_->CloseWithoutShutdown();
  } catch (...) {
  }
  if (state_ != httpReady && ctrlSocket_->State() == wsClosed) sessionClosed(0);
}

void THttpCli::storeBody(const char* data, int len) {
  if (len <= 0) return;
  if (bodyChunks_ == 0) TriggerDocBegin();
  ++bodyChunks_;
  rcvdCount_ += len;
  if (RcvdStream) {
    try {
      RcvdStream->WriteBuffer(data, len);
    } catch (const std::exception& e) {
      endRequest(404, std::string("can't store the document: ") + e.what(), httperrStreamWrite);
      return;
    }
  }
  TriggerDocData(data, len);
}

void THttpCli::relocate(const std::string& rawValue) {
  std::string v = rawValue;
  const std::size_t hash = v.find('#');
  if (hash != std::string::npos) v.erase(hash);
  if (v.empty()) return;
  const std::string scheme = schemeOf(v);
  if (!scheme.empty() && scheme != "http" && scheme != "https") {
    // file:, data:, javascript:, ftp:// ... are not ours to fetch, nor paths on this server.
    answerFault_ = "relocation to an unsupported scheme: " + ShownText(scheme);
    answerFaultCode_ = httperrBadRelocation;
    relocating_ = false;
    return;
  }
  v = EncodeUnsafeUrlBytes(v);
  relocating_ = true;

  const bool absolutePath = v[0] == '/' && (v.size() < 2 || v[1] != '/');
  if (absolutePath) {
    const std::string def = DefaultPortFor(scheme_);
    location_ = scheme_ + "://" + targetHost_ + (targetPort_ == def ? "" : ":" + targetPort_) + v;
    requestPath_ = Proxy.empty() || viaTunnel() ? v : location_;
    return;
  }

  const std::string target = IsAbsoluteUrl(v) ? v : ResolveRelativeUrl(location_, v);
  const TUrlParts u = ParseURL(target);  // credentials in a location are ignored
  if (u.Host.empty()) {
    relocating_ = false;  // nothing we could go to: take this response as it is
    return;
  }
  scheme_ = AsciiLowerCopy(u.Proto.empty() ? std::string("http") : u.Proto);
  const std::string def = DefaultPortFor(scheme_);
  const std::string port = u.Port.empty() ? def : u.Port;
  const std::string path = u.Path.empty() ? "/" : u.Path;
  targetHost_ = u.Host;
  targetPort_ = port;
  location_ = scheme_ + "://" + u.Host + (port == def ? "" : ":" + port) + path;
  if (Proxy.empty()) {
    hostName_ = u.Host;
    hostPort_ = port;
  }
  requestPath_ = Proxy.empty() || viaTunnel() ? path : location_;
}

void THttpCli::finishRelocationHeader() {
  TriggerHeaderEnd();
  resetAnswer();  // the next hop's answer is framed by its own head
  rcvCount_ = 0;
  headerLines_ = 0;
  bodyChunks_ = 0;
  next_ = NextStep::None;
  if (++relocations_ > MaxRelocations) {
    relocating_ = false;
    reasonPhrase_ = "Too many relocations";
    ctrlSocket_->Close();  // the normal close handling ends the request
    return;
  }
  ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { RelocationClosed(s, e); };
  ctrlSocket_->Close();
}

void THttpCli::RelocationClosed(TWSocket*, std::uint16_t) {
  connected_ = false;
  relocating_ = false;
  ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { socketSessionClosed(s, e); };
  window_->post(WM_HTTP_RELOCATION, requestId_, 0);  // first, whatever the handler does
  if (OnLocationChange) OnLocationChange(this);
}

}  // namespace tavimo
