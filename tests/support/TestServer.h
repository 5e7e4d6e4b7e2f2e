#pragma once
// One scriptable HTTP server on 127.0.0.1 for every suite, plain or TLS. Each accepted
// connection runs on its own thread, either as a raw script (the test reads heads and sends
// bytes itself) or as a request handler (the server has read the whole request first). Every
// request is recorded. The byte builders below produce the misbehaving answers hostile servers
// send (length lies, chunked, unasked gzip, garbage and interim status lines, odd relocations).
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace tavimo::test {

struct HttpRequestSeen {
  std::string raw;     // request line, headers and (handler mode) body exactly as received
  std::string method;  // "GET"
  std::string target;  // "/path?query" or an absolute URL (proxy requests)
  std::string body;
  std::string Header(const std::string& name) const;  // first value, name without regard to case
};

class TestServer;

class Conn {
 public:
  Conn(int fd, ssl_ctx_st* tls, TestServer* owner);
  ~Conn();
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  bool Handshake();  // TLS only; false when the client gave up (e.g. untrusted certificate)
  // TLS from here on (a proxy's tunnel that ends in this test server); false when refused.
  bool StartTls(const std::string& certPem, const std::string& keyPem);
  // Reads up to and including the blank line ending the request head ("" when the peer left).
  std::string ReadHead();
  std::string ReadBytes(std::size_t n);  // exactly n bytes after the head (less if the peer left)

  bool Send(std::string_view bytes);  // false once the peer is gone
  // One byte every interval; stops early when the peer goes or the server stops.
  bool Trickle(std::string_view bytes, std::chrono::milliseconds interval);
  bool SendSlowly(std::string_view bytes, int msPerByte) {
    return Trickle(bytes, std::chrono::milliseconds(msPerByte));
  }
  // Header lines without end until `bytes` were sent or the peer leaves (a memory attack).
  void HeaderFlood(std::size_t bytes);

  // Waits up to the limit (or until the server stops) without sending anything.
  void Stall(std::chrono::milliseconds limit);
  void Sleep(int ms) { Stall(std::chrono::milliseconds(ms)); }
  // Waits until the client closes (or ms pass), reading and dropping what it sends.
  void WaitForClose(int ms);

  void Reset();   // RST instead of FIN
  void Close();   // orderly: TLS close_notify, FIN, then waits for the client to close
  void CutTls();  // TLS: FIN without close_notify (a truncation attack); plain: like Close
  bool Stopping() const;

 private:
  int read(char* buf, int size);
  void closeFd();

  int fd_;
  ssl_st* ssl_ = nullptr;
  ssl_ctx_st* ownCtx_ = nullptr;
  TestServer* owner_;
  std::string pending_;
  friend class TestServer;
};

class TestServer {
 public:
  // Raw mode: the script does everything; index counts connections from 0. A connection the
  // script left open is closed in order when it returns.
  using Script = std::function<void(Conn& c, int index)>;
  // Request mode: the request (head and Content-Length body) has been read and recorded; the
  // server ends the connection in order when the handler returns (unless it reset it).
  using Handler = std::function<void(Conn& c, const HttpRequestSeen& request)>;

  // tls: the PEM certificate and key the server presents; empty = plain HTTP.
  explicit TestServer(Script script, const std::string& certPem = {}, const std::string& keyPem = {});
  explicit TestServer(Handler handler, const std::string& certPem = {}, const std::string& keyPem = {});
  // Serves the paths given to Put (also while it runs) as whole 200 answers; others get 404.
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int Port() const { return port_; }
  // https://localhost:port (the test certificate's name) or http://127.0.0.1:port.
  std::string Url(const std::string& path = "/") const;
  std::vector<HttpRequestSeen> Requests() const;
  std::vector<std::string> Targets() const;  // the request targets, in order
  void Put(const std::string& path, std::string_view body,
           const std::string& contentType = "application/x-shockwave-flash");
  int Connections() const { return connections_.load(); }

  // A complete answer with a Content-Length (unless omitted) and "Connection: close".
  static std::string Response(int status, std::string_view body, const std::string& extraHeaders = "",
                              bool withLength = true);
  // A handler serving fixed paths (whole answers); anything else gets 404.
  static Handler Files(std::map<std::string, std::string> responsesByPath);

 private:
  void start(const std::string& certPem, const std::string& keyPem);
  void acceptLoop();
  void serve(int fd, int index);
  void record(const HttpRequestSeen& r);

  Script script_;
  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  ssl_ctx_st* tls_ = nullptr;
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<Conn*> open_;
  std::vector<HttpRequestSeen> requests_;
  std::map<std::string, std::string> puts_;  // path -> whole answer (under mutex_)
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  friend class Conn;
};

// Test certificates made with OpenSSL at run time.
struct TestPki {
  std::string caCertPem;
  std::string goodCertPem, goodKeyPem;            // for localhost and 127.0.0.1, signed by the CA
  std::string wrongHostCertPem, wrongHostKeyPem;  // signed by the CA, for another host
  std::string untrustedCertPem, untrustedKeyPem;  // self-signed, for localhost
};
const TestPki& Pki();

// ---- answers, well-behaved and not ----

// "HTTP/1.0 <status>\r\n<headers>\r\n<body>": headers as given, each ending in CRLF.
std::string Response(const std::string& status, const std::string& headers, const std::string& body);
// A 200 whose Content-Length says `declared` while `body` is what is sent (a lie either way).
std::string LengthLie(std::string_view body, std::size_t declared);
// A 200 without Content-Length that keeps the connection (the script decides when to close).
std::string KeepAliveResponse(std::string_view body);
// A 200 with "Transfer-Encoding: chunked", the body cut into chunks of `chunk` bytes; `trailer`
// goes after the last chunk (extensions and trailers are legal).
std::string Chunked(std::string_view body, std::size_t chunk, const std::string& trailer = "");
// The body compressed with zlib: gzip framing, zlib framing ("deflate" as the standard says)
// or bare deflate data (what many servers send as "deflate").
std::string Gzip(std::string_view body);
std::string Deflate(std::string_view body, bool bare = false);
// A 200 with Content-Encoding that nobody asked for: "gzip", "deflate" or "bare-deflate"
// (sent as "deflate").
std::string Encoded(std::string_view body, const std::string& encoding);
// `count` interim "1xx" answers before `final`.
std::string WithInterim(const std::string& final, int count = 1, int code = 100);
// A status line that is not HTTP.
std::string GarbageStatus();
// A relocation: `code` with a Location (none when location is empty).
std::string Relocation(int code, const std::string& location);

}  // namespace tavimo::test
