#pragma once
// A scriptable HTTP server on 127.0.0.1 for tests: each connection runs on its own thread and
// the test's handler decides what goes back, byte by byte if need be (stalls, trickles,
// resets, early closes). Every request is recorded raw.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavimo::test {

struct HttpRequestSeen {
  std::string raw;     // request line, headers and body exactly as received
  std::string method;  // "GET"
  std::string target;  // "/path?query" or an absolute URL (proxy requests)
  std::string body;
  std::string Header(const std::string& name) const;  // first value, name without regard to case
};

class TestConnection {
 public:
  explicit TestConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  bool Send(std::string_view bytes);
  // One byte every interval; stops early when the peer goes or the server stops.
  bool Trickle(std::string_view bytes, std::chrono::milliseconds interval);
  // Waits up to the limit (or until the server stops) without sending anything.
  void Stall(std::chrono::milliseconds limit);
  // Closes with a TCP reset instead of an orderly close.
  void Reset();
  bool Stopping() const { return stopping_.load(); }

 private:
  int fd_;
  const std::atomic<bool>& stopping_;
};

class TestHttpServer {
 public:
  using Handler = std::function<void(TestConnection&, const HttpRequestSeen&)>;

  explicit TestHttpServer(Handler handler);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  std::string Url(const std::string& path = "/") const;
  std::vector<HttpRequestSeen> Requests() const;
  size_t ConnectionCount() const { return connections_.load(); }

  // A complete response with a Content-Length (unless omitted) and "Connection: close".
  static std::string Response(int status, std::string_view body,
                              const std::string& extraHeaders = "", bool withLength = true);
  // A handler serving fixed paths; anything else gets 404.
  static Handler Files(std::map<std::string, std::string> responsesByPath);

 private:
  void AcceptLoop();
  void Serve(int fd);

  Handler handler_;
  int listenFd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> connections_{0};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<int> openFds_;
  std::vector<HttpRequestSeen> requests_;
};

}  // namespace tavimo::test
