// The bench's local HTTP server: serves the files of one folder with sendfile, one response per
// connection (HTTP/1.0, closed after the body), a thread per connection. Prints its port.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void serve(int fd, const std::string& root) {
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      ::close(fd);
      return;
    }
    head.append(buf, static_cast<size_t>(n));
  }
  // "GET /name HTTP/1.x" or, from a proxy-style client, an absolute URL.
  const size_t sp1 = head.find(' ');
  const size_t sp2 = head.find(' ', sp1 + 1);
  std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
  if (path.rfind("http://", 0) == 0) path = path.substr(path.find('/', 7));
  const size_t q = path.find('?');
  if (q != std::string::npos) path.erase(q);
  if (path.find("..") != std::string::npos) path = "/";
  const int file = ::open((root + path).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
    const char* nf = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    ::send(fd, nf, std::strlen(nf), MSG_NOSIGNAL);
  } else {
    const std::string h = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                          std::to_string(st.st_size) + "\r\nConnection: close\r\n\r\n";
    ::send(fd, h.data(), h.size(), MSG_NOSIGNAL | MSG_MORE);
    off_t off = 0;
    while (off < st.st_size) {
      if (::sendfile(fd, file, &off, static_cast<size_t>(st.st_size - off)) <= 0) break;
    }
  }
  if (file >= 0) ::close(file);
  ::shutdown(fd, SHUT_WR);
  while (::recv(fd, buf, sizeof buf, 0) > 0) {
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  const std::string root = argv[1];
  const int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  for (;;) {
    const int fd = ::accept4(ls, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::thread(serve, fd, root).detach();
  }
}
