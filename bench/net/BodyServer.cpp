// The benches' local HTTP server: serves the files of one folder, one response per connection
// (HTTP/1.0, our side shut after the body, the socket closed once the client has closed its
// side). One thread and epoll, and files of up to 64 KiB answered from memory (read at their
// first request; the benches never change them), so that the server costs the machine as little
// as it can: the benches measure the clients, and here the clients share the cores with it.
// Larger files go out with sendfile. Prints its port.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>

namespace {

constexpr off_t kFromMemory = 64 * 1024;

struct Connection {
  int fd = -1;
  std::string head;      // the request as far as it came
  std::string response;  // what is still to send before the file (or all of a small answer)
  size_t sent = 0;       // of response
  int file = -1;         // a large file, sent after the response
  off_t offset = 0, size = 0;
  bool answered = false;  // all sent and our side shut: the client's end closes the connection
  ~Connection() {
    if (file >= 0) ::close(file);
    if (fd >= 0) ::close(fd);
  }
};

std::string Head(const char* status, off_t length) {
  return std::string("HTTP/1.0 ") + status +
         "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) +
         "\r\nConnection: close\r\n\r\n";
}

class Server {
 public:
  explicit Server(std::string root) : root_(std::move(root)) {}

  void Answer(Connection& c) {
    // "GET /name HTTP/1.x" or, from a proxy-style client, an absolute URL.
    const size_t sp1 = c.head.find(' ');
    const size_t sp2 = c.head.find(' ', sp1 + 1);
    std::string path = sp1 == std::string::npos ? "/" : c.head.substr(sp1 + 1, sp2 - sp1 - 1);
    if (path.rfind("http://", 0) == 0) {
      const size_t slash = path.find('/', 7);
      path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    const size_t q = path.find('?');
    if (q != std::string::npos) path.erase(q);
    if (path.find("..") != std::string::npos) path = "/";
    const auto cached = small_.find(path);
    if (cached != small_.end()) {
      c.response = cached->second;
      return;
    }
    const int file = ::open((root_ + path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (file >= 0) ::close(file);
      c.response = Head("404 Not Found", 0);
      return;
    }
    c.response = Head("200 OK", st.st_size);
    if (st.st_size > kFromMemory) {
      c.file = file;
      c.size = st.st_size;
      return;
    }
    std::string body(static_cast<size_t>(st.st_size), '\0');
    const ssize_t got = ::pread(file, body.data(), body.size(), 0);
    ::close(file);
    if (got != st.st_size) {
      c.response = Head("500 Internal Server Error", 0);
      return;
    }
    c.response += body;
    small_[path] = c.response;
  }

 private:
  std::string root_;
  std::unordered_map<std::string, std::string> small_;
};

enum class Sent { all, later, failed };

// Sends what the socket takes now.
Sent Send(Connection& c) {
  while (c.sent < c.response.size()) {
    const ssize_t n = ::send(c.fd, c.response.data() + c.sent, c.response.size() - c.sent,
                             MSG_NOSIGNAL | (c.file >= 0 ? MSG_MORE : 0));
    if (n < 0) return errno == EAGAIN ? Sent::later : Sent::failed;
    c.sent += static_cast<size_t>(n);
  }
  while (c.file >= 0 && c.offset < c.size) {
    const ssize_t n = ::sendfile(c.fd, c.file, &c.offset, static_cast<size_t>(c.size - c.offset));
    if (n < 0) return errno == EAGAIN ? Sent::later : Sent::failed;
    if (n == 0) return Sent::failed;  // the file got shorter
  }
  return Sent::all;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  Server server(argv[1]);
  const int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int on = 1;
  ::setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(ls, 512) != 0) return 1;
  socklen_t len = sizeof a;
  ::getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len);
  std::printf("%d\n", ntohs(a.sin_port));
  std::fflush(stdout);

  const int ep = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = ls;
  ::epoll_ctl(ep, EPOLL_CTL_ADD, ls, &ev);
  std::unordered_map<int, std::unique_ptr<Connection>> connections;
  epoll_event ready[64];
  char buf[4096];
  for (;;) {
    const int n = ::epoll_wait(ep, ready, 64, -1);
    for (int i = 0; i < n; ++i) {
      const int fd = ready[i].data.fd;
      if (fd == ls) {
        for (;;) {
          const int cfd = ::accept4(ls, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
          if (cfd < 0) break;
          auto c = std::make_unique<Connection>();
          c->fd = cfd;
          epoll_event cev{};
          cev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
          cev.data.fd = cfd;
          ::epoll_ctl(ep, EPOLL_CTL_ADD, cfd, &cev);
          connections[cfd] = std::move(c);
        }
        continue;
      }
      const auto it = connections.find(fd);
      if (it == connections.end()) continue;
      Connection& c = *it->second;
      // The client's end came (or the connection broke): the flags say so, without a read.
      const bool clientDone = (ready[i].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
      if (c.answered) {
        if (clientDone) connections.erase(it);
        continue;
      }
      const bool answering = !c.response.empty();
      if (!answering) {
        // Edge-triggered: read until the head is complete or the socket is empty.
        while (c.head.find("\r\n\r\n") == std::string::npos) {
          const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
          if (got <= 0) break;
          c.head.append(buf, static_cast<size_t>(got));
        }
        if (c.head.find("\r\n\r\n") == std::string::npos) {
          if (clientDone) connections.erase(it);
          continue;
        }
        server.Answer(c);
      }
      switch (Send(c)) {
        case Sent::later:  // the rest when the socket drains
          if (!answering) {
            epoll_event out{};
            out.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
            out.data.fd = fd;
            ::epoll_ctl(ep, EPOLL_CTL_MOD, fd, &out);
          }
          break;
        case Sent::all:
          c.answered = true;
          ::shutdown(fd, SHUT_WR);
          if (clientDone) connections.erase(it);
          break;
        case Sent::failed: connections.erase(it); break;
      }
    }
  }
}
