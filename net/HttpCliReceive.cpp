// THttpCli's receive path: line cutting, header fields, body delivery and relocation.
#include "net/HttpCli.h"

#include "net/HttpUrl.h"
#include "platform/MessageWindow.h"
#include "platform/Stream.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace tavimo {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool startsWithHtmlTag(const char* p, int len) {
  static const char tag[] = "<HTML>";
  if (len < 6) return false;
  for (int i = 0; i < 6; ++i) {
    if (std::toupper(static_cast<unsigned char>(p[i])) != tag[i]) return false;
  }
  return true;
}

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

}  // namespace

void THttpCli::socketDataAvailable(TWSocket*, std::uint16_t) {
  const int free = kBufferSize - rcvCount_;
  if (free <= 0) {
    endRequest(404, "HTTP line too long", httperrLineTooLong);
    return;
  }
  const int n = ctrlSocket_->Receive(rcvBuf_ + rcvCount_, free);
  if (requestType_ == httpNone || n <= 0) return;
  touch();
  if (tunnelAsked_ && !tunnelUp_) {
    tunnelAnswer(n);
    return;
  }
  handleReceived(n);
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
  contentLength_ = -1;
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

    if (state_ != httpWaitingHeader && state_ != httpWaitingBody) continue;  // dropped
    if (next_ == NextStep::HeaderLine) headerLine(line, raw.data(), rawLen);
    else if (next_ == NextStep::BodyData) bodyData(raw.data(), rawLen);
    else setReady();
  }
}

void THttpCli::headerLine(const std::string& line, const char* raw, int rawLen) {
  if (headerLines_ == 0) TriggerHeaderBegin();
  ++headerLines_;

  if (startsWithHtmlTag(line.data(), static_cast<int>(line.size()))) {
    noHeaderPage(raw, rawLen);
    return;
  }
  if (line.empty()) {
    headerEnded();
    return;
  }
  rcvdHeader_.push_back(line);
  if (line.compare(0, 8, "HTTP/1.0") == 0 || line.compare(0, 8, "HTTP/1.1") == 0) {
    std::int64_t code = 0;
    if (line.size() >= 12 && parseNumber(line.substr(9, 3), code)) statusCode_ = static_cast<std::int32_t>(code);
    reasonPhrase_ = line.size() > 13 ? line.substr(13) : std::string();
  } else {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::size_t v = colon + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      headerField(lower(line.substr(0, colon)), line.substr(v));
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
    if (parseNumber(value, n)) contentLength_ = n;
  } else if (name == "content-range") {
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash != std::string::npos && dash >= 6) ContentRangeBegin = value.substr(6, dash - 6);
    if (dash != std::string::npos && slash != std::string::npos && slash > dash)
      ContentRangeEnd = value.substr(dash + 1, slash - dash - 1);
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "content-type") {
    contentType_ = lower(value);
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
  if (relocating_) {
    finishRelocationHeader();
    return;
  }
  const std::size_t dot = docName_.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : lower(docName_.substr(dot));
  if (ext == ".exe" && contentType_ == "text/html") {
    docName_ = (dot == std::string::npos ? docName_ : docName_.substr(0, dot)) + ".htm";
  }
  setState(httpWaitingBody);
  next_ = NextStep::BodyData;
  TriggerHeaderEnd();
  if (rcvCount_ > 0) {
    const int len = rcvCount_;
    rcvCount_ = 0;
    bodyData(rcvBuf_, len);
  }
}

void THttpCli::bodyData(const char* data, int len) {
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
  scheme_ = lower(u.Proto.empty() ? std::string("http") : u.Proto);
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
