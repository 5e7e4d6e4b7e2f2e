// A small static-file HTTP server for the benchmarks: one thread per connection, the body
// sent with sendfile(2), "Connection: close". Usage: tavimo_sendfile_server <root> <port-file>
// It listens on 127.0.0.1 on a free port, writes the port number to <port-file> and serves
// until killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

void Serve(int fd, const std::string& root) {
  std::string req;
  char buf[4096];
  while (req.find("\r\n\r\n") == std::string::npos && req.size() < 65536) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    req.append(buf, static_cast<size_t>(n));
  }
  const size_t sp1 = req.find(' '), sp2 = req.find(' ', sp1 + 1);
  std::string path = sp1 == std::string::npos || sp2 == std::string::npos
                         ? std::string("/")
                         : req.substr(sp1 + 1, sp2 - sp1 - 1);
  if (auto q = path.find('?'); q != std::string::npos) path.resize(q);
  int file = path.find("..") == std::string::npos ? ::open((root + path).c_str(), O_RDONLY) : -1;
  struct stat st {};
  if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
    const char* nf = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    ::send(fd, nf, std::strlen(nf), MSG_NOSIGNAL);
  } else {
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(st.st_size) + "\r\nConnection: close\r\n\r\n";
    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL | MSG_MORE);
    off_t off = 0;
    while (off < st.st_size) {
      ssize_t n = ::sendfile(fd, file, &off, static_cast<size_t>(st.st_size - off));
      if (n <= 0) break;
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
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <root> <port-file>\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(lfd, 512) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  ::getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (FILE* f = std::fopen(argv[2], "w")) {
    std::fprintf(f, "%d\n", ntohs(addr.sin_port));
    std::fclose(f);
  }
  for (;;) {
    int fd = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::thread([fd, root] { Serve(fd, root); }).detach();
  }
}
