// THttpCli's receive path: line cutting, header fields, body delivery and relocation.
#include "net/HttpCli.h"

#include "base/http/ChunkDecoder.h"
#include "net/HttpUrl.h"
#include "base/http/Inflater.h"
#include "net/SslLayer.h"
#include "compat/MessageWindow.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"
#include "base/TextUtils.h"

#include <cstring>
#include <string_view>

namespace tavimo {
namespace {

// Digits only, no sign games: a value we cannot read is ignored rather than guessed.
bool parseNumber(const std::string& s, std::int64_t& out) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  std::int64_t v = 0;
  for (; i < s.size() && s[i] != ' '; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    if (v > (INT64_MAX - 9) / 10) return false;
    v = v * 10 + (s[i] - '0');
  }
  for (; i < s.size(); ++i) {
    if (s[i] != ' ') return false;
  }
  out = negative ? -v : v;
  return true;
}

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

// What a garbage line looks like, without its control bytes.
std::string shown(const std::string& line) {
  std::string out;
  for (char c : line.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  return out;
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
  std::size_t end = got.find("\r\n\r\n");
  std::size_t endLen = 4;
  if (end == std::string_view::npos) {
    end = got.find("\n\n");
    endLen = 2;
  }
  if (end == std::string_view::npos) return;  // the proxy's answer is not complete yet
  const std::string status(got.substr(0, got.find_first_of("\r\n")));
  std::int64_t code = 0;
  const bool ok = status.compare(0, 5, "HTTP/") == 0 && status.size() >= 12 &&
                  parseNumber(status.substr(9, 3), code) && code / 100 == 2;
  if (!ok || end + endLen != static_cast<std::size_t>(rcvCount_)) {
    // The proxy refused (or talked past its answer): its status and reason end the request.
    endRequest(code > 0 ? static_cast<std::int32_t>(code) : 404,
               status.size() > 13 ? status.substr(13) : "proxy refused the connection", 0);
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
    std::int64_t code = 0;
    const bool status = line.compare(0, 7, "HTTP/1.") == 0 && line.size() >= 12 && line[8] == ' ' &&
                        IsAsciiDigit(line[9]) && parseNumber(line.substr(9, 3), code);
    if (!status) {
      endRequest(404, "not an HTTP answer: \"" + shown(line) + "\"", httperrBadAnswer);
      return;
    }
  }
  rcvdHeader_.push_back(line);
  if (headerLines_ == 1) {
    std::int64_t code = 0;
    if (parseNumber(line.substr(9, 3), code)) statusCode_ = static_cast<std::int32_t>(code);
    reasonPhrase_ = line.size() > 13 ? line.substr(13) : std::string();
  } else {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::size_t v = colon + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      headerField(AsciiLowerCopy(line.substr(0, colon)), line.substr(v));
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
    std::int64_t n = 0;
    if (!parseNumber(value, n)) return;
    if (n < 0 || (contentLength_ >= 0 && n != contentLength_)) {
      answerFault_ = n < 0 ? "negative Content-Length" : "two different Content-Length values";
      answerFaultCode_ = httperrBadAnswer;
      return;
    }
    contentLength_ = n;
  } else if (name == "transfer-encoding") {
    const std::string te = AsciiLowerCopy(Trim(value));
    if (te == "chunked") chunked_ = true;
    else if (te != "identity") {
      answerFault_ = "unsupported transfer encoding: " + shown(te);
      answerFaultCode_ = httperrBadAnswer;
    }
  } else if (name == "content-encoding") {
    const std::string ce = AsciiLowerCopy(Trim(value));
    if (TInflater::Supports(ce)) contentEncoding_ = ce;
    else if (!ce.empty() && ce != "identity") {
      answerFault_ = "unsupported content encoding: " + shown(ce);
      answerFaultCode_ = httperrBadAnswer;
    }
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
  bodyData(chunk.data(), static_cast<int>(chunk.size()));
}

void THttpCli::headerEnded() {
  if (closedOnError_) {
    // The connection is already closed and the request is ending: nothing more to deliver.
    rcvCount_ = 0;
    next_ = NextStep::None;
    return;
  }
  if (statusCode_ >= 100 && statusCode_ < 200) {
    skipInterim();
    return;
  }
  if (!answerFault_.empty()) {
    endRequest(statusCode_, answerFault_, answerFaultCode_);
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
  noBody_ = requestType_ == httpHEAD || statusCode_ == 204 || statusCode_ == 304;
  if (chunked_) {
    contentLength_ = -1;  // the chunks frame the body, whatever a length says
    chunks_ = std::make_unique<TChunkDecoder>();
  }
  if (!contentEncoding_.empty()) inflater_ = std::make_unique<TInflater>(contentEncoding_);
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
  if (noBody_ || contentLength_ == 0) {
    completeBody();
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
  chunked_ = false;
  contentEncoding_.clear();
  answerFault_.clear();
  relocating_ = false;
}

void THttpCli::resetAnswer() {
  contentLength_ = -1;
  bodyWire_ = 0;
  bodyComplete_ = chunked_ = noBody_ = false;
  contentEncoding_.clear();
  answerFault_.clear();
  answerFaultCode_ = 0;
  headBytes_ = 0;
  receiveError_ = 0;
  chunks_.reset();
  inflater_.reset();
}

void THttpCli::bodyData(const char* data, int len) {
  if (len <= 0 || bodyComplete_) return;
  const std::uintptr_t request = requestId_;
  if (chunks_) {
    std::size_t used = 0;
    const auto r =
        chunks_->Feed(data, static_cast<std::size_t>(len), used, [&](const char* p, std::size_t n) {
          if (request == requestId_) bodyDecoded(p, static_cast<int>(n));
        });
    bodyWire_ += static_cast<std::int64_t>(used);
    if (request != requestId_) return;
    if (r == TChunkDecoder::Result::Error) endRequest(statusCode_, chunks_->Error(), httperrBadAnswer);
    else if (r == TChunkDecoder::Result::Done) completeBody();
    return;
  }
  int take = len;
  if (contentLength_ >= 0) take = static_cast<int>(std::min<std::int64_t>(len, contentLength_ - bodyWire_));
  bodyWire_ += take;
  bodyDecoded(data, take);
  if (request != requestId_) return;
  if (contentLength_ >= 0 && bodyWire_ >= contentLength_) completeBody();
}

void THttpCli::bodyDecoded(const char* data, int len) {
  if (!inflater_) {
    storeBody(data, len);
    return;
  }
  const std::uintptr_t request = requestId_;
  const bool ok = inflater_->Feed(data, static_cast<std::size_t>(len), [&](const char* p, std::size_t n) {
    if (request == requestId_) storeBody(p, static_cast<int>(n));
  });
  if (!ok && request == requestId_) endRequest(statusCode_, inflater_->Error(), httperrBadAnswer);
}

void THttpCli::completeBody() {
  if (inflater_ && !inflater_->Finished() && !noBody_ && bodyWire_ > 0) {
    endRequest(statusCode_, "the compressed body ended early", httperrTruncated);
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
    answerFault_ = "relocation to an unsupported scheme: " + shown(scheme);
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
