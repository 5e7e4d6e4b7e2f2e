#pragma once
// THttpCli: fetches one document at a time over HTTP/1.0 (directly or through an HTTP proxy,
// https through the socket's TLS layer) and streams the body into RcvdStream, reporting through
// events. Get blocks in a nested pass of the UI event loop until the request is over.
//
// How requests end (always so that Get returns with the component ready):
// - InactivityTimeout (seconds, default 60, 0 = none): the response header must be complete
//   within that time from the start of the request (lookup and connect included; again for
//   each relocation hop), and no pause in the body may last that long. Otherwise the request
//   ends with StatusCode 404, ReasonPhrase "Connection timed out (Error #10060)" and
//   request-done error 10060. So neither a silent nor a trickling server can hold Get.
// - A connection that ends before the header is complete ends the request with StatusCode 404,
//   ReasonPhrase "Connection closed without an answer" and error 10053 (or the reset's code);
//   a reset during the body leaves the received status but reports the reset's code (10054).
// - MaxRelocations (default 10): the response that would start relocation number 11 ends the
//   request instead: its status stays, ReasonPhrase "Too many relocations", error 0.
// - An exception while a request starts (e.g. "DNS lookup: invalid host name." for a URL
//   without a host) still leaves Get, but the component is back in httpReady first, with
//   StatusCode 404 and the exception's text as ReasonPhrase; OnRequestDone follows as always.
//   A failing restart after a relocation ends the request the same way instead of escaping.
// - A header line longer than the 8192-byte buffer ends the request at once: connection
//   closed, StatusCode 404, ReasonPhrase "HTTP line too long", request-done error 4.
// - A failing OnDocData: the chunk was already counted and stored, and it is consumed before the
//   event fires, so it is never delivered twice; the exception ends that read pass only.
// - A RcvdStream that cannot take the bytes (disk full) ends the request: StatusCode 404,
//   ReasonPhrase "can't store the document: ..." and request-done error 5.
// - Relative locations ("x.htm", "../x", "?q") and network paths ("//host/p") are resolved
//   against the URL being fetched; a location without a port uses its scheme's default port;
//   Location carries ":port" whenever it is not the scheme's default.
// - A URL's control characters, blanks and non-ASCII bytes reach the request line as %XX;
//   a host with such bytes ends the request like an unknown host (404, "invalid host name in
//   URL", error 11001) before any lookup; a "#fragment" is not sent.
// - Status 400 or more: the connection is closed after the status line; header lines
//   of the same read are still recorded, but no body byte is delivered and no relocation runs.
// - "<HTML>" without a header: the page is delivered byte for byte, line ends included.
// - The answer is read by the shared HTTP reader (base/http): a status line that is not
//   "HTTP/" digit "." digit, a blank and a code from 100 to 599 is no HTTP answer; a
//   Content-Length that is not digits is httperrBadAnswer, as is any framing it refuses.
// - https through a proxy goes through a CONNECT tunnel (TLS to the document's host, its
//   certificate verified as without a proxy); the proxy's refusal ends the request with the
//   proxy's status and reason. Plain http through a proxy sends the absolute URL.
//
// A document is complete only when its framing says so, and every other ending is a failure
// (RequestDoneError not 0, ReasonPhrase saying why, and no OnDocEnd):
// - Content-Length: exactly that many bytes are kept; the request ends as soon as they are in
//   (a keep-alive server is not waited for) and anything after them is dropped. Fewer bytes
//   before the close is httperrTruncated ("the body ended after X of Y bytes"). Two different
//   Content-Length values are httperrBadAnswer.
// - "Transfer-Encoding: chunked" is decoded; the request ends after the last chunk's trailer,
//   and a close before it is httperrTruncated.
// - Neither: the body ends with the connection. A clean end (FIN, or TLS close_notify) is
//   complete; a reset, or a TLS connection cut without close_notify, is a failure.
// - "Content-Encoding: gzip/deflate" (never asked for, but sent) is decoded; other encodings
//   (or several stacked) are httperrBadAnswer, so compressed bytes are never taken for the
//   document; a coded body that is empty or ends early is httperrTruncated.
// - A first line that is not an HTTP status line (and no "<HTML>" page) is httperrBadAnswer;
//   1xx interim answers are skipped (101 is the last answer: no body follows it); a 3xx other
//   than 304 without Location is httperrBadAnswer; a Location whose scheme is not http or
//   https is httperrBadRelocation, naming the scheme.
// - MaxHeaderBytes bounds the whole answer head (interim answers included): httperrTooLarge.
//   RequestTimeout bounds the whole request, relocations included (WSAETIMEDOUT, "Request
//   took longer than N s"). The socket hands over at most a bounded amount per pass, so a flood
//   never keeps the timers from running.
#include "base/http/BodyFraming.h"
#include "net/WSocket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QTimer;

namespace tavimo {

class MessageBody;

class MessageWindow;
class TStream;

enum THttpState {
  httpReady,
  httpNotConnected,
  httpConnected,
  httpDnsLookup,
  httpDnsLookupDone,
  httpWaitingHeader,
  httpWaitingBody,
  httpAborting
};

enum THttpRequest { httpNone, httpGET, httpPOST, httpHEAD };

class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& msg, int code) : std::runtime_error(msg), ErrorCode(code) {}
  int ErrorCode;
};

// Request-done errors of the client itself (besides the Winsock and TLS codes).
constexpr std::uint16_t httperrAborted = 3;
constexpr std::uint16_t httperrLineTooLong = 4;
constexpr std::uint16_t httperrStreamWrite = 5;
constexpr std::uint16_t httperrTruncated = 6;      // the body ended before its framing said
constexpr std::uint16_t httperrBadAnswer = 7;      // not HTTP, or framing/encoding we refuse
constexpr std::uint16_t httperrBadRelocation = 8;  // a Location we will not follow
constexpr std::uint16_t httperrTooLarge = 9;       // the answer head passed MaxHeaderBytes

class THttpCli {
 public:
  using TNotifyEvent = std::function<void(THttpCli* sender)>;
  using TDocDataEvent = std::function<void(THttpCli* sender, const char* buffer, std::int32_t len)>;
  using TOnCommand = std::function<void(THttpCli* sender, std::string& s)>;
  using TCookieRcvdEvent = std::function<void(THttpCli* sender, const std::string& data, bool& accept)>;
  using THttpRequestDone = std::function<void(THttpCli* sender, THttpRequest rqType, std::uint16_t error)>;

  static constexpr int kBufferSize = 8192;
  static constexpr unsigned WM_HTTP_REQUEST_DONE = 0x0400 + 1;
  static constexpr unsigned WM_HTTP_SET_READY = 0x0400 + 2;
  static constexpr unsigned WM_HTTP_RELOCATION = 0x0400 + 3;

  explicit THttpCli(NetServices services = {});
  virtual ~THttpCli();
  THttpCli(const THttpCli&) = delete;
  THttpCli& operator=(const THttpCli&) = delete;

  // Published properties.
  std::string URL;
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string Sender;
  std::string Agent = "Mozilla/3.0 (compatible)";
  std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string Reference;
  std::string Username, Password;
  std::string ProxyUsername, ProxyPassword;
  bool NoCache = false;
  double ModifiedSince = 0;
  std::string Cookie;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  std::string ContentRangeBegin, ContentRangeEnd;
  const std::string& AcceptRanges() const { return acceptRanges_; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool value);
  // Name lookups and TLS trust of the client's connections; only while no request runs.
  void SetNetServices(NetServices services);
  const NetServices& Services() const { return ctrlSocket_->Services(); }
  // Tavimo's limits (see the top of this file).
  int InactivityTimeout = 60;
  int MaxRelocations = 10;
  // Whole answer head in bytes, interim answers included (default 64 KiB, 0 = none).
  std::size_t MaxHeaderBytes = 64 * 1024;
  // Whole request in seconds, lookup to last byte, relocations included (default 600, 0 = none):
  // a server sending a byte now and then cannot hold Get for ever.
  int RequestTimeout = 600;

  // Run-time properties.
  THttpState State() const { return state_; }
  std::int32_t StatusCode() const { return statusCode_; }
  const std::string& ReasonPhrase() const { return reasonPhrase_; }
  std::int64_t ContentLength() const { return contentLength_; }  // -1: none received
  const std::string& ContentType() const { return contentType_; }
  std::int64_t RcvdCount() const { return rcvdCount_; }
  TStream* RcvdStream = nullptr;  // owned by the caller
  TStream* SendStream = nullptr;  // owned by the caller (POST)
  const std::vector<std::string>& RcvdHeader() const { return rcvdHeader_; }
  const std::string& DocName() const { return docName_; }
  const std::string& Location() const { return location_; }
  std::uint16_t RequestDoneError() const { return requestDoneError_; }
  TWSocket& CtrlSocket() { return *ctrlSocket_; }

  // Events.
  TNotifyEvent OnStateChange, OnSessionConnected, OnRequestHeaderBegin, OnRequestHeaderEnd, OnHeaderBegin,
      OnHeaderEnd, OnHeaderData, OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd, OnLocationChange, OnTrace;
  TDocDataEvent OnDocData, OnSendData;
  TOnCommand OnCommand;
  TCookieRcvdEvent OnCookie;
  THttpRequestDone OnRequestDone;

  // Operations.
  void Get();
  void Post();
  void Head();
  void Abort();

  // Test seam for the fuzzer: starts a response without a connection, then hands bytes to
  // the receive path as if the socket had read them.
  void BeginResponseForTests();
  void ReceiveForTests(const char* data, std::size_t len);

 protected:
  virtual void SendCommand(const std::string& cmd);
  virtual void StartLookup();
  virtual void Disconnect();
  virtual void RelocationClosed(TWSocket* sender, std::uint16_t error);

  virtual void TriggerCookie(const std::string& data, bool& accept);
  virtual void TriggerSessionConnected();
  virtual void TriggerRequestHeaderBegin();
  virtual void TriggerRequestHeaderEnd();
  virtual void TriggerHeaderBegin();
  virtual void TriggerHeaderEnd();
  virtual void TriggerDocBegin();
  virtual void TriggerDocData(const char* buffer, std::int32_t len);
  virtual void TriggerDocEnd();
  virtual void TriggerSendBegin();
  virtual void TriggerSendData(const char* buffer, std::int32_t len);
  virtual void TriggerSendEnd();

 private:
  enum class NextStep { None, HeaderLine, BodyData };

  void doRequest(THttpRequest rq);
  void startRequest(THttpRequest rq);
  void waitUntilDone();
  void wndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
  void setState(THttpState s);
  void setReady();
  void touch();
  void checkInactivity();
  void endRequest(std::int32_t status, const std::string& reason, std::uint16_t error);
  void failStart(const std::string& reason, std::uint16_t error);

  // socket events
  void socketDnsLookupDone(TWSocket* s, std::uint16_t error);
  void socketSessionConnected(TWSocket* s, std::uint16_t error);
  void socketDataAvailable(TWSocket* s, std::uint16_t error);
  void noteReceiveError();
  void socketDataSent(TWSocket* s, std::uint16_t error);
  void socketSessionClosed(TWSocket* s, std::uint16_t error);
  void sessionClosed(std::uint16_t error);

  // receive path
  void handleReceived(int n);
  void headerLine(const std::string& line, const char* raw, int rawLen);
  void headerField(const std::string& name, const std::string& value);
  void headerEnded();
  void noHeaderPage(const char* raw, int rawLen);
  void bodyData(const char* data, int len);
  void storeBody(const char* data, int len);
  void endBody();
  void skipInterim();
  void resetAnswer();
  bool deadlinePassed();
  void relocate(const std::string& value);
  void finishRelocationHeader();
  void sendRequest(const std::string& method, const std::string& version);
  void sendPostChunk();
  bool viaTunnel() const { return !Proxy.empty() && scheme_ == "https"; }
  void tunnelAnswer(int n);

  std::unique_ptr<MessageWindow> window_;
  std::unique_ptr<TWSocket> ctrlSocket_;
  std::unique_ptr<QTimer> inactivityTimer_;
  std::chrono::steady_clock::time_point lastActivity_;
  std::chrono::steady_clock::time_point phaseStart_;
  std::chrono::steady_clock::time_point requestStart_;

  THttpState state_ = httpReady;
  THttpRequest requestType_ = httpNone;
  std::uint16_t requestDoneError_ = 0;
  std::uintptr_t requestId_ = 0;  // stamps posted notices; stale ones are dropped
  bool requestDonePending_ = false;
  bool multiThreaded_ = false;

  std::int32_t statusCode_ = 0;
  std::string reasonPhrase_;
  std::int64_t contentLength_ = -1;
  std::string contentType_;
  std::int64_t rcvdCount_ = 0;
  std::vector<std::string> rcvdHeader_;
  std::string docName_;
  std::string location_;
  std::string acceptRanges_;
  std::vector<std::string> authenticate_;

  std::string hostName_, hostPort_, targetHost_, targetPort_, requestPath_;
  std::string scheme_ = "http";  // of the document being fetched
  std::string dnsResult_;
  char rcvBuf_[kBufferSize + 1] = {};
  int rcvCount_ = 0;
  char sndBuf_[kBufferSize + 1] = {};
  int headerLines_ = 0;
  int bodyChunks_ = 0;
  bool docEnded_ = false;
  // Framing of the current answer (see the top of this file).
  bool bodyComplete_ = false;
  FramingFields framing_;
  std::string answerFault_;  // a header fault, reported when the head ends
  std::uint16_t answerFaultCode_ = 0;
  std::size_t headBytes_ = 0;
  std::uint16_t receiveError_ = 0;  // a read that failed before the close notice
  std::unique_ptr<MessageBody> body_;
  std::string requestStream_;
  bool relocating_ = false;
  int relocations_ = 0;
  bool connected_ = false;
  bool closedOnError_ = false;
  bool allowedToSend_ = false;
  // https through a proxy: CONNECT first, then TLS inside the tunnel.
  bool tunnelAsked_ = false;
  bool tunnelUp_ = false;
  std::int64_t sentCount_ = 0;
  NextStep next_ = NextStep::None;
};

}  // namespace tavimo
