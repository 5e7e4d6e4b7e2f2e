// The benches' local HTTP server: serves the files of one folder with sendfile, one response per
// connection (HTTP/1.0, closed after the body). One thread and epoll, so that the server costs
// the machine as little as it can: the benches measure the clients, and here the clients share
// the cores with it. Prints its port.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <unordered_map>

namespace {

struct Connection {
  int fd = -1;
  std::string head;      // the request as far as it came
  std::string response;  // the status line and fields still to send (then the file)
  int file = -1;
  off_t offset = 0, size = 0;
  bool answered = false;    // all sent and our side shut: the client's end closes the connection
  bool clientGone = false;  // the client's end (or an error) came
  ~Connection() {
    if (file >= 0) ::close(file);
    if (fd >= 0) ::close(fd);
  }
};

void Answer(Connection& c, const std::string& root) {
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
  c.file = ::open((root + path).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (c.file < 0 || ::fstat(c.file, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (c.file >= 0) ::close(c.file);
    c.file = -1;
    c.response = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    return;
  }
  c.size = st.st_size;
  c.response = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
               std::to_string(st.st_size) + "\r\nConnection: close\r\n\r\n";
}

enum class Sent { all, later, failed };

// Sends what the socket takes now.
Sent Send(Connection& c) {
  while (!c.response.empty()) {
    const ssize_t n =
        ::send(c.fd, c.response.data(), c.response.size(), MSG_NOSIGNAL | (c.file >= 0 ? MSG_MORE : 0));
    if (n < 0) return errno == EAGAIN ? Sent::later : Sent::failed;
    c.response.erase(0, static_cast<size_t>(n));
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
  const std::string root = argv[1];
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
          cev.events = EPOLLIN | EPOLLET;
          cev.data.fd = cfd;
          ::epoll_ctl(ep, EPOLL_CTL_ADD, cfd, &cev);
          connections[cfd] = std::move(c);
        }
        continue;
      }
      const auto it = connections.find(fd);
      if (it == connections.end()) continue;
      Connection& c = *it->second;
      if (c.answered) {
        // Wait for the client's end before closing: the side that closes first keeps the port in
        // TIME_WAIT, and thousands of those slow every later connect on the machine.
        ssize_t got;
        while ((got = ::recv(fd, buf, sizeof buf, 0)) > 0) {
        }
        if (got == 0 || errno != EAGAIN) connections.erase(it);
        continue;
      }
      const bool answering = !c.response.empty() || c.file >= 0;
      if (!answering) {
        // Edge-triggered: read until the socket is empty.
        for (;;) {
          const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
          if (got <= 0) {
            c.clientGone = got == 0 || errno != EAGAIN;
            break;
          }
          c.head.append(buf, static_cast<size_t>(got));
        }
        if (c.head.find("\r\n\r\n") != std::string::npos) {
          Answer(c, root);
        } else if (c.clientGone) {
          connections.erase(it);
          continue;
        }
      }
      if (c.response.empty() && c.file < 0) continue;
      switch (Send(c)) {
        case Sent::later:  // the rest when the socket drains
          if (!answering) {
            epoll_event out{};
            out.events = EPOLLIN | EPOLLOUT | EPOLLET;
            out.data.fd = fd;
            ::epoll_ctl(ep, EPOLL_CTL_MOD, fd, &out);
          }
          break;
        case Sent::all:
          c.answered = true;
          ::shutdown(fd, SHUT_WR);
          if (c.clientGone) connections.erase(it);
          break;
        case Sent::failed: connections.erase(it); break;
      }
    }
  }
}
