#include "net/HttpCli.h"

#include "base/http/MessageBody.h"
#include "net/HttpUrl.h"
#include "net/SslLayer.h"
#include "compat/MessageWindow.h"
#include "base/EventWait.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"
#include "base/TextUtils.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace tavimo {
namespace {

std::string errorPhrase(int code) {
  if (code == TLS_TRUNCATED) return "secure connection cut without close_notify (truncated)";
  return SocketErrorText(code) + " (Error #" + std::to_string(code) + ")";
}

}  // namespace

THttpCli::THttpCli(NetServices services) {
  window_ = std::make_unique<MessageWindow>(
      [this](unsigned msg, std::uintptr_t w, std::intptr_t l) { wndProc(msg, w, l); });
  ctrlSocket_ = std::make_unique<TWSocket>(std::move(services));
  ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { socketSessionClosed(s, e); };
  ctrlSocket_->OnDataAvailable = [this](TWSocket* s, std::uint16_t e) { socketDataAvailable(s, e); };
  ctrlSocket_->OnSessionConnected = [this](TWSocket* s, std::uint16_t e) { socketSessionConnected(s, e); };
  ctrlSocket_->OnDataSent = [this](TWSocket* s, std::uint16_t e) { socketDataSent(s, e); };
  ctrlSocket_->OnDnsLookupDone = [this](TWSocket* s, std::uint16_t e) { socketDnsLookupDone(s, e); };
  inactivityTimer_ = std::make_unique<QTimer>();
  inactivityTimer_->setSingleShot(true);
  QObject::connect(inactivityTimer_.get(), &QTimer::timeout, window_.get(),
                   [this] { DispatchGuarded([this] { checkInactivity(); }); });
}

THttpCli::~THttpCli() {
  inactivityTimer_->stop();
  ctrlSocket_.reset();  // closes the connection; no events reach us any more
  window_.reset();
}

void THttpCli::SetNetServices(NetServices services) {
  if (state_ != httpReady) throw EHttpException("HTTP component is busy", 1);
  ctrlSocket_->SetNetServices(std::move(services));
}

void THttpCli::SetMultiThreaded(bool value) {
  multiThreaded_ = value;
  ctrlSocket_->MultiThreaded = value;
}

// ---- state ----

void THttpCli::setState(THttpState s) {
  if (s == state_) return;
  state_ = s;
  touch();
  if (s == httpReady) {
    inactivityTimer_->stop();
    requestDonePending_ = true;
    window_->post(WM_HTTP_REQUEST_DONE, requestId_, 0);
  }
  if (OnStateChange) OnStateChange(this);
}

void THttpCli::setReady() { window_->post(WM_HTTP_SET_READY, requestId_, 0); }

void THttpCli::wndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t) {
  switch (msg) {
    case WM_HTTP_REQUEST_DONE:
      requestDonePending_ = false;
      if (OnRequestDone) OnRequestDone(this, requestType_, requestDoneError_);
      break;
    case WM_HTTP_SET_READY:
      if (wParam == requestId_) setState(httpReady);
      break;
    case WM_HTTP_RELOCATION:
      if (wParam != requestId_ || state_ == httpReady || state_ == httpAborting) break;
      try {
        StartLookup();
      } catch (const std::exception& e) {
        failStart(e.what(), WSAEINVAL);
      }
      break;
    default: break;
  }
}

// ---- inactivity ----

void THttpCli::touch() {
  lastActivity_ = std::chrono::steady_clock::now();
  if (state_ == httpNotConnected || state_ == httpDnsLookup) phaseStart_ = lastActivity_;
  if (state_ == httpReady || inactivityTimer_->isActive()) return;
  int seconds = InactivityTimeout;
  if (RequestTimeout > 0 && (seconds <= 0 || RequestTimeout < seconds)) seconds = RequestTimeout;
  if (seconds > 0) inactivityTimer_->start(seconds * 1000);
}

bool THttpCli::deadlinePassed() {
  if (state_ == httpReady || state_ == httpAborting) return false;
  const auto now = std::chrono::steady_clock::now();
  if (RequestTimeout > 0 && now - requestStart_ >= std::chrono::seconds(RequestTimeout)) {
    endRequest(404, "Request took longer than " + std::to_string(RequestTimeout) + " s", WSAETIMEDOUT);
    return true;
  }
  // Until the header is complete the limit counts from the start of the hop, so a server that
  // trickles its header cannot hold us; in the body it is the longest allowed pause.
  if (InactivityTimeout > 0 && state_ != httpWaitingBody &&
      now - phaseStart_ >= std::chrono::seconds(InactivityTimeout)) {
    endRequest(404, errorPhrase(WSAETIMEDOUT), WSAETIMEDOUT);
    return true;
  }
  return false;
}

void THttpCli::checkInactivity() {
  if (state_ == httpReady || state_ == httpAborting) return;
  if (deadlinePassed()) return;
  const auto now = std::chrono::steady_clock::now();
  auto left = std::chrono::steady_clock::duration::max();
  if (RequestTimeout > 0) left = requestStart_ + std::chrono::seconds(RequestTimeout) - now;
  if (InactivityTimeout > 0) {
    const auto since = state_ == httpWaitingBody ? lastActivity_ : phaseStart_;
    const auto limit = std::chrono::seconds(InactivityTimeout);
    if (state_ == httpWaitingBody && now - since >= limit) {
      endRequest(404, errorPhrase(WSAETIMEDOUT), WSAETIMEDOUT);
      return;
    }
    left = std::min<std::chrono::steady_clock::duration>(left, since + limit - now);
  }
  if (left == std::chrono::steady_clock::duration::max()) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
  inactivityTimer_->start(static_cast<int>(std::clamp<long long>(ms, 1, 24LL * 3600 * 1000)));
}

// ---- requests ----

void THttpCli::Get() { doRequest(httpGET); }
void THttpCli::Post() { doRequest(httpPOST); }
void THttpCli::Head() { doRequest(httpHEAD); }

void THttpCli::doRequest(THttpRequest rq) {
  startRequest(rq);
  waitUntilDone();
}

void THttpCli::waitUntilDone() {
  // A handler may destroy us while we wait; the window goes with us.
  const QPointer<MessageWindow> self(window_.get());
  WaitUntil([&] { return !self || state_ == httpReady; });
  // The request-done notice was posted on the return to ready; deliver it before returning.
  WaitUntil([&] { return !self || !requestDonePending_; });
}

void THttpCli::startRequest(THttpRequest rq) {
  if (state_ != httpReady) throw EHttpException("HTTP component is busy", 1);
  if (rq == httpPOST && !SendStream) throw EHttpException("HTTP component has nothing to post", 2);

  // A request-done notice of the previous request may still be queued: it belongs to it.
  ++requestId_;
  rcvdHeader_.clear();
  authenticate_.clear();
  requestType_ = rq;
  requestDoneError_ = 0;
  ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { socketSessionClosed(s, e); };
  setState(httpNotConnected);
  docName_.clear();
  statusCode_ = 0;
  rcvdCount_ = 0;
  sentCount_ = 0;
  headerLines_ = 0;
  bodyChunks_ = 0;
  docEnded_ = false;
  resetAnswer();
  requestStart_ = std::chrono::steady_clock::now();
  contentType_.clear();
  allowedToSend_ = false;
  relocating_ = false;
  relocations_ = 0;
  closedOnError_ = false;
  rcvCount_ = 0;
  next_ = NextStep::None;
  location_ = URL;

  try {
    std::string url = URL;
    const std::size_t hash = url.find('#');
    if (hash != std::string::npos) url.erase(hash);
    const TUrlParts u = ParseURL(url);
    targetHost_ = u.Host;
    if (!u.User.empty()) Username = u.User;
    if (!u.Pass.empty()) Password = u.Pass;
    scheme_ = AsciiLowerCopy(u.Proto.empty() ? "http" : u.Proto);
    targetPort_ = u.Port.empty() ? DefaultPortFor(scheme_) : u.Port;
    if (Proxy.empty() || viaTunnel()) {
      requestPath_ = EncodeUnsafeUrlBytes(u.Path);
      hostName_ = u.Host;
      hostPort_ = targetPort_;
    }
    if (!Proxy.empty()) {
      if (!viaTunnel()) {
        requestPath_ = (u.Proto.empty() ? std::string("http") : u.Proto) + "://" + u.Host +
                       (u.Port.empty() ? "" : ":" + u.Port) +
                       EncodeUnsafeUrlBytes(u.Path.empty() ? "/" : u.Path);
      }
      const TUrlParts p = ParseURL(Proxy);  // the connection goes to the proxy
      hostName_ = p.Host;
      hostPort_ = p.Port.empty() ? ProxyPort : p.Port;
    }
    if (requestPath_.empty()) requestPath_ = "/";

    if (!u.Path.empty() && u.Path != "/") {
      std::string path = u.Path;
      if (path.back() == '/') path.pop_back();
      std::string name = path.substr(path.rfind('/') + 1).substr(0, 255);
      const std::size_t q = name.find('?');
      if (q != std::string::npos) name.erase(q);
      docName_ = name;
    } else {
      docName_ = "document.htm";
    }
    StartLookup();
  } catch (const std::exception& e) {
    failStart(e.what(), WSAEINVAL);
    throw;
  }
}

void THttpCli::failStart(const std::string& reason, std::uint16_t error) {
  if (state_ == httpReady) return;
  ++requestId_;  // whatever is still queued for this request is void now
  setState(httpAborting);
  try {
    ctrlSocket_->OnSessionClosed = nullptr;
    ctrlSocket_->Abort();
  } catch (...) {
  }
  ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { socketSessionClosed(s, e); };
  statusCode_ = 404;
  reasonPhrase_ = reason;
  requestDoneError_ = error;
  connected_ = false;
  next_ = NextStep::None;
  setState(httpReady);
}

void THttpCli::StartLookup() {
  dnsResult_.clear();
  setState(httpDnsLookup);
  if (HasUnsafeHostBytes(hostName_) || HasUnsafeHostBytes(targetHost_)) {
    requestDoneError_ = WSAHOST_NOT_FOUND;
    statusCode_ = 404;
    reasonPhrase_ = "invalid host name in URL";
    sessionClosed(WSAHOST_NOT_FOUND);
    return;
  }
  ctrlSocket_->DnsLookup(hostName_);
}

void THttpCli::socketDnsLookupDone(TWSocket*, std::uint16_t error) {
  if (state_ != httpDnsLookup) return;  // aborting, or a cancelled lookup
  if (error != 0) {
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = "can't resolve hostname to IP address";
    sessionClosed(error);
    return;
  }
  dnsResult_ = ctrlSocket_->DnsResult();
  const std::uintptr_t request = requestId_;
  setState(httpDnsLookupDone);
  if (request != requestId_ || state_ != httpDnsLookupDone) return;  // aborted by a handler
  try {
    ctrlSocket_->SetAddr(dnsResult_);
    ctrlSocket_->SetPort(hostPort_);
    ctrlSocket_->SetProto("tcp");
    // TLS to the document's host; a proxy is spoken to in plain HTTP.
    ctrlSocket_->SslEnable = Proxy.empty() && scheme_ == "https";
    ctrlSocket_->SslHostName = targetHost_;
    tunnelAsked_ = tunnelUp_ = false;
    ctrlSocket_->Connect();
  } catch (const std::exception& e) {
    const int code = ctrlSocket_->LastError();
    if (code != 0) {
      requestDoneError_ = static_cast<std::uint16_t>(code);
      reasonPhrase_ = "can't connect: " + errorPhrase(code);
    } else {  // a set-up fault (bad port ...): say what it was rather than "No Error"
      requestDoneError_ = WSAEINVAL;
      reasonPhrase_ = std::string("can't connect: ") + e.what();
    }
    statusCode_ = 404;
    try {
      ctrlSocket_->Close();
    } catch (...) {
    }
    sessionClosed(requestDoneError_);
  }
}

void THttpCli::socketSessionConnected(TWSocket*, std::uint16_t error) {
  if (state_ != httpDnsLookupDone) return;
  if (error != 0) {
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = errorPhrase(error);
    sessionClosed(error);
    return;
  }
  if (viaTunnel() && !tunnelUp_) {
    // Ask the proxy for a tunnel; its answer arrives through socketDataAvailable.
    tunnelAsked_ = true;
    rcvCount_ = 0;
    const std::string target = targetHost_ + ":" + targetPort_;
    std::string connect = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    if (!ProxyUsername.empty())
      connect += "Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword) + "\r\n";
    connect += "\r\n";
    ctrlSocket_->Send(connect.data(), static_cast<std::int32_t>(connect.size()));
    return;
  }
  connected_ = true;
  const std::uintptr_t request = requestId_;
  setState(httpConnected);
  if (request != requestId_) return;
  TriggerSessionConnected();
  if (request != requestId_) return;
  next_ = NextStep::HeaderLine;
  setState(httpWaitingHeader);
  if (request != requestId_) return;
  try {
    const char* method = requestType_ == httpPOST ? "POST" : requestType_ == httpHEAD ? "HEAD" : "GET";
    sendRequest(method, "1.0");
    if (requestType_ == httpPOST) {
      TriggerSendBegin();
      allowedToSend_ = true;
      sendPostChunk();
    }
  } catch (...) {
    Disconnect();
    throw;
  }
}

void THttpCli::SendCommand(const std::string& cmd) {
  std::string line = cmd;
  if (OnCommand) OnCommand(this, line);
  if (!line.empty()) requestStream_ += line;
  requestStream_ += "\r\n";
}

void THttpCli::sendRequest(const std::string& method, const std::string& version) {
  requestStream_.clear();
  TriggerRequestHeaderBegin();
  SendCommand(method + " " + requestPath_ + " HTTP/" + version);
  if (!Sender.empty()) SendCommand("From: " + Sender);
  if (!Accept.empty()) SendCommand("Accept: " + Accept);
  if (!Reference.empty()) SendCommand("Referer: " + Reference);
  if (method == "POST" && !ContentTypePost.empty()) SendCommand("Content-Type: " + ContentTypePost);
  if (!Agent.empty()) SendCommand("User-Agent: " + Agent);
  SendCommand("Host: " + targetHost_);
  if (NoCache) SendCommand("Pragma: no-cache");
  if (method == "POST") SendCommand("Content-Length: " + std::to_string(SendStream->Size()));
  if (ModifiedSince != 0) SendCommand("If-Modified-Since: " + RFC1123Date(ModifiedSince) + " GMT");
  if (!Username.empty()) SendCommand("Authorization: Basic " + Base64Encode(Username + ":" + Password));
  if (!Proxy.empty() && !ProxyUsername.empty() && !viaTunnel())
    SendCommand("Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword));
  if (!Cookie.empty()) SendCommand("Cookie: " + Cookie);
  if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
    SendCommand("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }
  acceptRanges_.clear();
  TriggerRequestHeaderEnd();
  SendCommand("");
  const std::string header = std::move(requestStream_);
  requestStream_.clear();
  ctrlSocket_->Send(header.data(), static_cast<std::int32_t>(header.size()));
}

void THttpCli::socketDataSent(TWSocket*, std::uint16_t) {
  if (allowedToSend_) sendPostChunk();
}

void THttpCli::sendPostChunk() {
  const std::int64_t n = SendStream ? SendStream->Read(sndBuf_, kBufferSize + 1) : 0;
  if (n <= 0) {
    allowedToSend_ = false;
    TriggerSendEnd();
    return;
  }
  sentCount_ += n;
  touch();
  TriggerSendData(sndBuf_, static_cast<std::int32_t>(n));
  ctrlSocket_->Send(sndBuf_, static_cast<std::int32_t>(n));
}

void THttpCli::Disconnect() {
  try {
    ctrlSocket_->Close();
  } catch (...) {
  }
  connected_ = false;
}

void THttpCli::socketSessionClosed(TWSocket*, std::uint16_t error) { sessionClosed(error); }

void THttpCli::sessionClosed(std::uint16_t error) {
  connected_ = false;
  // A page that starts with "<HTML>" and ends without a line feed is still a page.
  if (state_ == httpWaitingHeader && rcvCount_ >= 6 && next_ == NextStep::HeaderLine) {
    if (StartsWithNoCase(std::string_view(rcvBuf_, 6), "<html>")) {
      const int n = rcvCount_;
      rcvCount_ = 0;
      try {
        noHeaderPage(rcvBuf_, n);
      } catch (...) {
      }
    }
  }
  if (error == 0 && receiveError_ != 0 && !bodyComplete_) error = receiveError_;
  const bool beforeHeaderEnd = (state_ == httpWaitingHeader && next_ == NextStep::HeaderLine) ||
                               state_ == httpDnsLookupDone || state_ == httpConnected;
  if (beforeHeaderEnd && requestDoneError_ == 0 && !closedOnError_ && !relocating_) {
    // Closed before a complete header: that is no answer, whatever the status line said.
    requestDoneError_ = error ? error : static_cast<std::uint16_t>(WSAECONNABORTED);
    statusCode_ = 404;
    reasonPhrase_ = "Connection closed without an answer";
  } else if (state_ == httpWaitingBody && !bodyComplete_ && requestDoneError_ == 0 && !closedOnError_) {
    // The body ended with the connection: complete only if its framing agrees and it ended
    // cleanly. The status stays; the error and reason say what went wrong.
    if (error != 0) {
      requestDoneError_ = error;
      reasonPhrase_ = "the body was cut off: " + errorPhrase(error);
    } else if (body_ && body_->Finish() == MessageBody::Result::Error) {
      requestDoneError_ = body_->EndedEarly() ? httperrTruncated : httperrBadAnswer;
      reasonPhrase_ = body_->Error();
    } else {
      bodyComplete_ = true;
    }
  } else if (error != 0 && requestDoneError_ == 0 && !bodyComplete_) {
    requestDoneError_ = error;
  }
  setReady();  // posted first: a failing OnDocEnd must not leave the request running
  if (bodyChunks_ > 0 && !docEnded_ && requestDoneError_ == 0) {
    docEnded_ = true;
    TriggerDocEnd();
  }
}

void THttpCli::endRequest(std::int32_t status, const std::string& reason, std::uint16_t error) {
  if (state_ == httpReady) return;
  const bool lookup = state_ == httpDnsLookup;
  ++requestId_;  // a queued relocation restart or ready notice of this request is void now
  setState(httpAborting);
  if (lookup) {
    try {
      ctrlSocket_->CancelDnsLookup();
    } catch (...) {
    }
  }
  statusCode_ = status;
  reasonPhrase_ = reason;
  requestDoneError_ = error;
  if (lookup) {
    sessionClosed(0);
  } else {
    ctrlSocket_->OnSessionClosed = [this](TWSocket* s, std::uint16_t e) { socketSessionClosed(s, e); };
    try {
      ctrlSocket_->Close();
    } catch (...) {
    }
  }
  relocating_ = false;
  next_ = NextStep::None;
  setState(httpReady);
}

void THttpCli::Abort() {
  if (state_ == httpReady) {
    if (ctrlSocket_->State() != wsClosed) ctrlSocket_->Close();
    return;
  }
  endRequest(404, "Connection aborted on request", httperrAborted);
}

// ---- triggers ----

void THttpCli::TriggerCookie(const std::string& data, bool& accept) {
  if (OnCookie) OnCookie(this, data, accept);
}
void THttpCli::TriggerSessionConnected() {
  if (OnSessionConnected) OnSessionConnected(this);
}
void THttpCli::TriggerRequestHeaderBegin() {
  if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
}
void THttpCli::TriggerRequestHeaderEnd() {
  if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
}
void THttpCli::TriggerHeaderBegin() {
  if (OnHeaderBegin) OnHeaderBegin(this);
}
void THttpCli::TriggerHeaderEnd() {
  if (OnHeaderEnd) OnHeaderEnd(this);
}
void THttpCli::TriggerDocBegin() {
  if (OnDocBegin) OnDocBegin(this);
}
void THttpCli::TriggerDocData(const char* buffer, std::int32_t len) {
  if (OnDocData) OnDocData(this, buffer, len);
}
void THttpCli::TriggerDocEnd() {
  if (OnDocEnd) OnDocEnd(this);
}
void THttpCli::TriggerSendBegin() {
  if (OnSendBegin) OnSendBegin(this);
}
void THttpCli::TriggerSendData(const char* buffer, std::int32_t len) {
  if (OnSendData) OnSendData(this, buffer, len);
}
void THttpCli::TriggerSendEnd() {
  if (OnSendEnd) OnSendEnd(this);
}

}  // namespace tavimo
