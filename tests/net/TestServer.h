#pragma once
// A small scriptable HTTP server on 127.0.0.1 for the net suites: each accepted connection runs
// the test's script on its own thread (plain or TLS), and every request head is recorded.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace tavimo::test {

class Conn {
 public:
  Conn(int fd, ssl_ctx_st* tls, class TestServer* owner);
  ~Conn();
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  bool Handshake();  // TLS only; false when the client gave up (e.g. untrusted certificate)
  // TLS from here on (a proxy's tunnel that ends in this test server); false when refused.
  bool StartTls(const std::string& certPem, const std::string& keyPem);
  // Reads up to and including the blank line ending the request head ("" when the peer left).
  std::string ReadHead();
  std::string ReadBytes(std::size_t n);  // exactly n bytes after the head (less if the peer left)
  void Send(const std::string& bytes);
  void SendSlowly(const std::string& bytes, int msPerByte);
  // Waits until the client closes (or ms pass).
  void WaitForClose(int ms);
  void Sleep(int ms);
  void Reset();  // RST instead of FIN
  void Close();

 private:
  int fd_;
  ssl_st* ssl_ = nullptr;
  ssl_ctx_st* ownCtx_ = nullptr;
  TestServer* owner_;
  std::string pending_;
};

class TestServer {
 public:
  using Script = std::function<void(Conn& c, int index)>;
  // tls: the PEM certificate and key the server presents; empty = plain HTTP.
  explicit TestServer(Script script, const std::string& certPem = {}, const std::string& keyPem = {});
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const;
  std::vector<std::string> Requests() const;
  int Connections() const { return connections_; }

 private:
  void acceptLoop();

  Script script_;
  int listenFd_ = -1;
  int port_ = 0;
  ssl_ctx_st* tls_ = nullptr;
  std::thread acceptThread_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  friend class Conn;
};

// Test certificates made with OpenSSL at run time.
struct TestPki {
  std::string caCertPem;
  std::string goodCertPem, goodKeyPem;          // for localhost and 127.0.0.1, signed by the CA
  std::string wrongHostCertPem, wrongHostKeyPem;  // signed by the CA, for another host
  std::string untrustedCertPem, untrustedKeyPem;  // self-signed, for localhost
};
const TestPki& Pki();

// The HTTP response a well-behaved server sends.
std::string Response(const std::string& status, const std::string& headers, const std::string& body);

}  // namespace tavimo::test
