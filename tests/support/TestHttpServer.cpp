#include "tests/support/TestHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tavimo::test {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string HttpRequestSeen::Header(const std::string& name) const {
  const std::string want = Lower(name) + ":";
  size_t pos = raw.find("\r\n");
  const size_t end = raw.find("\r\n\r\n");
  while (pos != std::string::npos && pos < end) {
    const size_t next = raw.find("\r\n", pos + 2);
    std::string line = raw.substr(pos + 2, next - pos - 2);
    if (Lower(line).rfind(want, 0) == 0) {
      std::string v = line.substr(want.size());
      v.erase(0, v.find_first_not_of(' '));
      return v;
    }
    pos = next;
  }
  return {};
}

bool TestConnection::Send(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TestConnection::Trickle(std::string_view bytes, std::chrono::milliseconds interval) {
  for (char c : bytes) {
    if (Stopping() || !Send(std::string_view(&c, 1))) return false;
    Stall(interval);
  }
  return true;
}

void TestConnection::Stall(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!Stopping() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void TestConnection::Reset() {
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::shutdown(fd_, SHUT_RD);
}

TestHttpServer::TestHttpServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 64) != 0) {
    throw std::runtime_error("test server cannot listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_.store(true);
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptThread_.join();
  ::close(listenFd_);
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpRequestSeen> TestHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestHttpServer::AcceptLoop() {
  while (!stopping_.load()) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::lock_guard lock(mutex_);
    openFds_.push_back(fd);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

void TestHttpServer::Serve(int fd) {
  std::string raw;
  char buf[4096];
  size_t headEnd = std::string::npos;
  size_t need = 0;
  // Read the head, then as much body as Content-Length says; give up after a second of quiet.
  for (;;) {
    if (headEnd != std::string::npos && raw.size() >= headEnd + 4 + need) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0 || stopping_.load()) break;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    raw.append(buf, static_cast<size_t>(n));
    if (headEnd == std::string::npos && (headEnd = raw.find("\r\n\r\n")) != std::string::npos) {
      HttpRequestSeen probe{raw.substr(0, headEnd + 4), {}, {}, {}};
      const std::string cl = probe.Header("Content-Length");
      need = cl.empty() ? 0 : std::stoul(cl);
    }
  }
  HttpRequestSeen req;
  req.raw = raw;
  const size_t sp1 = raw.find(' '), sp2 = raw.find(' ', sp1 + 1);
  if (sp1 != std::string::npos && sp2 != std::string::npos) {
    req.method = raw.substr(0, sp1);
    req.target = raw.substr(sp1 + 1, sp2 - sp1 - 1);
  }
  if (headEnd != std::string::npos) req.body = raw.substr(headEnd + 4);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(req);
  }
  TestConnection conn(fd, stopping_);
  if (!raw.empty()) handler_(conn, req);
  ::shutdown(fd, SHUT_WR);
  // Let the client read everything before the socket goes away.
  while (!stopping_.load()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) < 0) break;
    if (p.revents && ::recv(fd, buf, sizeof buf, 0) <= 0) break;
  }
  std::lock_guard lock(mutex_);
  openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
  ::close(fd);
}

std::string TestHttpServer::Response(int status, std::string_view body,
                                     const std::string& extraHeaders, bool withLength) {
  std::string r = "HTTP/1.0 " + std::to_string(status) + (status < 400 ? " OK" : " Not Found") + "\r\n";
  if (withLength) r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += extraHeaders;
  r += "Connection: close\r\n\r\n";
  r += body;
  return r;
}

TestHttpServer::Handler TestHttpServer::Files(std::map<std::string, std::string> responsesByPath) {
  return [files = std::move(responsesByPath)](TestConnection& c, const HttpRequestSeen& r) {
    auto it = files.find(r.target);
    c.Send(it != files.end() ? it->second : Response(404, "<html>not here</html>"));
  };
}

}  // namespace tavimo::test
