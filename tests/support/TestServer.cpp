#include "tests/support/TestServer.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <zlib.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tavimo::test {

namespace {

ssl_ctx_st* serverContext(const std::string& certPem, const std::string& keyPem);

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

HttpRequestSeen parse(std::string raw) {
  HttpRequestSeen r;
  r.raw = std::move(raw);
  const size_t sp1 = r.raw.find(' ');
  const size_t sp2 = sp1 == std::string::npos ? sp1 : r.raw.find(' ', sp1 + 1);
  if (sp2 != std::string::npos) {
    r.method = r.raw.substr(0, sp1);
    r.target = r.raw.substr(sp1 + 1, sp2 - sp1 - 1);
  }
  const size_t end = r.raw.find("\r\n\r\n");
  if (end != std::string::npos) r.body = r.raw.substr(end + 4);
  return r;
}

}  // namespace

std::string HttpRequestSeen::Header(const std::string& name) const {
  const std::string want = lower(name) + ":";
  size_t pos = raw.find("\r\n");
  const size_t end = raw.find("\r\n\r\n");
  while (pos != std::string::npos && pos < end) {
    const size_t next = raw.find("\r\n", pos + 2);
    std::string line = raw.substr(pos + 2, next - pos - 2);
    if (lower(line).rfind(want, 0) == 0) {
      std::string v = line.substr(want.size());
      v.erase(0, v.find_first_not_of(' '));
      return v;
    }
    pos = next;
  }
  return {};
}

// ---- connection ----

Conn::Conn(int fd, ssl_ctx_st* tls, TestServer* owner) : fd_(fd), owner_(owner) {
  if (tls) {
    ssl_ = SSL_new(tls);
    SSL_set_fd(ssl_, fd_);
  }
  std::lock_guard lock(owner_->mutex_);
  owner_->open_.push_back(this);
}

Conn::~Conn() {
  {
    std::lock_guard lock(owner_->mutex_);
    owner_->open_.erase(std::remove(owner_->open_.begin(), owner_->open_.end(), this), owner_->open_.end());
  }
  if (ssl_) SSL_free(ssl_);
  if (ownCtx_) SSL_CTX_free(ownCtx_);
  closeFd();
}

void Conn::closeFd() {
  std::lock_guard lock(owner_->mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Conn::Stopping() const { return owner_->stopping_.load(); }

bool Conn::Handshake() { return !ssl_ || SSL_accept(ssl_) == 1; }

bool Conn::StartTls(const std::string& certPem, const std::string& keyPem) {
  ownCtx_ = serverContext(certPem, keyPem);
  ssl_ = SSL_new(ownCtx_);
  SSL_set_fd(ssl_, fd_);
  return SSL_accept(ssl_) == 1;
}

int Conn::read(char* buf, int size) {
  if (fd_ < 0) return -1;
  return ssl_ ? SSL_read(ssl_, buf, size) : static_cast<int>(::recv(fd_, buf, static_cast<size_t>(size), 0));
}

std::string Conn::ReadHead() {
  for (;;) {
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = pending_.substr(0, end + 4);
      pending_.erase(0, end + 4);
      owner_->record(parse(head));
      return head;
    }
    char buf[4096];
    const int n = read(buf, sizeof buf);
    if (n <= 0) return {};
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

std::string Conn::ReadBytes(std::size_t n) {
  while (pending_.size() < n) {
    char buf[4096];
    const int got = read(buf, sizeof buf);
    if (got <= 0) break;
    pending_.append(buf, static_cast<std::size_t>(got));
  }
  std::string out = pending_.substr(0, n);
  pending_.erase(0, out.size());
  return out;
}

bool Conn::Send(std::string_view bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    if (fd_ < 0) return false;
    const int n = ssl_ ? SSL_write(ssl_, bytes.data() + off, static_cast<int>(bytes.size() - off))
                       : static_cast<int>(::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL));
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {
// True once the peer has closed its side (an orderly FIN or a reset).
bool peerGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if (p.revents & (POLLHUP | POLLERR)) return true;
  char probe;
  return ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}
}  // namespace

bool Conn::Trickle(std::string_view bytes, std::chrono::milliseconds interval) {
  for (char c : bytes) {
    if (Stopping() || !Send(std::string_view(&c, 1))) return false;
    const auto end = std::chrono::steady_clock::now() + interval;
    while (std::chrono::steady_clock::now() < end) {
      if (Stopping() || fd_ < 0 || peerGone(fd_)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return true;
}

void Conn::HeaderFlood(std::size_t bytes) {
  if (!Send("HTTP/1.0 200 OK\r\n")) return;
  std::string batch;
  for (int i = 0; batch.size() < 64 * 1024; ++i)
    batch += "X-Flood-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
  for (std::size_t sent = 0; sent < bytes && !Stopping(); sent += batch.size()) {
    if (!Send(batch)) return;
  }
}

void Conn::Stall(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!Stopping() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Conn::WaitForClose(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (fd_ >= 0 && !Stopping() && std::chrono::steady_clock::now() < end) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) {
      char buf[4096];
      if (::recv(fd_, buf, sizeof buf, 0) <= 0) return;
    }
  }
}

void Conn::Reset() {
  if (fd_ < 0) return;
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  closeFd();
}

void Conn::Close() {
  if (fd_ < 0) return;
  if (ssl_) SSL_shutdown(ssl_);
  ::shutdown(fd_, SHUT_WR);
  WaitForClose(10000);
  closeFd();
}

void Conn::CutTls() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_WR);
  WaitForClose(10000);
  closeFd();
}

// ---- server ----

TestServer::TestServer(Script script, const std::string& certPem, const std::string& keyPem)
    : script_(std::move(script)) {
  start(certPem, keyPem);
}

TestServer::TestServer(Handler handler, const std::string& certPem, const std::string& keyPem)
    : handler_(std::move(handler)) {
  start(certPem, keyPem);
}

TestServer::TestServer() {
  handler_ = [this](Conn& c, const HttpRequestSeen& r) {
    std::string answer;
    {
      std::lock_guard lock(mutex_);
      auto it = puts_.find(r.target);
      if (it != puts_.end()) answer = it->second;
    }
    c.Send(!answer.empty() ? answer : Response(404, "<html>not here</html>"));
  };
  start({}, {});
}

void TestServer::Put(const std::string& path, std::string_view body, const std::string& contentType) {
  std::string answer = Response(200, body, "Content-Type: " + contentType + "\r\n");
  std::lock_guard lock(mutex_);
  puts_[path] = std::move(answer);
}

void TestServer::start(const std::string& certPem, const std::string& keyPem) {
  // A client that leaves mid-write must not kill the test process.
  std::signal(SIGPIPE, SIG_IGN);
  if (!certPem.empty()) tls_ = serverContext(certPem, keyPem);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 64) != 0)
    throw std::runtime_error("test server: cannot listen");
  socklen_t len = sizeof a;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestServer::~TestServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptThread_.join();
  ::close(listenFd_);
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    // Wakes scripts blocked in a read; they see Stopping() and end.
    for (Conn* c : open_)
      if (c->fd_ >= 0) ::shutdown(c->fd_, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
  if (tls_) SSL_CTX_free(tls_);
}

void TestServer::acceptLoop() {
  int index = 0;
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    const int i = index++;
    std::lock_guard lock(mutex_);
    workers_.emplace_back([this, fd, i] { serve(fd, i); });
  }
}

void TestServer::serve(int fd, int index) {
  Conn c(fd, tls_, this);
  if (!c.Handshake()) return;
  if (script_) {
    script_(c, index);
    c.Close();  // in order (close_notify on TLS) unless the script ended it otherwise
    return;
  }
  std::string head;
  for (;;) {  // the head without recording it yet: the record holds the body too
    const std::size_t end = c.pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      head = c.pending_.substr(0, end + 4);
      c.pending_.erase(0, end + 4);
      break;
    }
    char buf[4096];
    const int n = c.read(buf, sizeof buf);
    if (n <= 0) break;
    c.pending_.append(buf, static_cast<std::size_t>(n));
  }
  if (head.empty()) return;
  HttpRequestSeen req = parse(head);
  const std::string cl = req.Header("Content-Length");
  if (!cl.empty()) req.body = c.ReadBytes(std::stoul(cl));
  req.raw += req.body;
  record(req);
  handler_(c, req);
  c.Close();
}

void TestServer::record(const HttpRequestSeen& r) {
  std::lock_guard lock(mutex_);
  requests_.push_back(r);
}

std::string TestServer::Url(const std::string& path) const {
  return (tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::vector<HttpRequestSeen> TestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> TestServer::Targets() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const HttpRequestSeen& r : requests_) out.push_back(r.target);
  return out;
}

namespace {
std::string reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return status < 400 ? "OK" : "Error";
  }
}
}  // namespace

std::string TestServer::Response(int status, std::string_view body, const std::string& extraHeaders,
                                 bool withLength) {
  std::string r = "HTTP/1.0 " + std::to_string(status) + " " + reason(status) + "\r\n";
  if (withLength) r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += extraHeaders;
  r += "Connection: close\r\n\r\n";
  r += body;
  return r;
}

TestServer::Handler TestServer::Files(std::map<std::string, std::string> responsesByPath) {
  return [files = std::move(responsesByPath)](Conn& c, const HttpRequestSeen& r) {
    auto it = files.find(r.target);
    c.Send(it != files.end() ? it->second : Response(404, "<html>not here</html>"));
  };
}

// ---- answers ----

std::string Response(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n" + body;
}

std::string LengthLie(std::string_view body, std::size_t declared) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(declared) + "\r\n\r\n" + std::string(body);
}

std::string KeepAliveResponse(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\n\r\n" + std::string(body);
}

std::string Chunked(std::string_view body, std::size_t chunk, const std::string& trailer) {
  static const char* hex = "0123456789abcdef";
  std::string r = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (std::size_t off = 0; off < body.size(); off += chunk) {
    const std::string_view piece = body.substr(off, chunk);
    std::string size;
    for (std::size_t n = piece.size(); n; n >>= 4) size.insert(size.begin(), hex[n & 15]);
    r += size + "\r\n" + std::string(piece) + "\r\n";
  }
  return r + "0\r\n" + trailer + "\r\n";
}

namespace {
std::string compress(std::string_view body, int windowBits) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, body.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  z.avail_in = static_cast<uInt>(body.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
}  // namespace

std::string Gzip(std::string_view body) { return compress(body, 15 + 16); }
std::string Deflate(std::string_view body, bool bare) { return compress(body, bare ? -15 : 15); }

std::string Encoded(std::string_view body, const std::string& encoding) {
  const std::string data = encoding == "gzip" ? Gzip(body) : Deflate(body, encoding == "bare-deflate");
  return Response("200 OK",
                  "Content-Encoding: " + std::string(encoding == "gzip" ? "gzip" : "deflate") +
                      "\r\nContent-Length: " + std::to_string(data.size()) + "\r\n",
                  data);
}

std::string WithInterim(const std::string& final, int count, int code) {
  std::string r;
  for (int i = 0; i < count; ++i) r += "HTTP/1.1 " + std::to_string(code) + " Continue\r\n\r\n";
  return r + final;
}

std::string GarbageStatus() { return "SSH-2.0-OpenSSH_9.2\r\nContent-Length: 4\r\n\r\nbody"; }

std::string Relocation(int code, const std::string& location) {
  return Response(std::to_string(code) + " Moved",
                  (location.empty() ? "" : "Location: " + location + "\r\n") + "Content-Length: 28\r\n",
                  "<html>moved somewhere</html>");
}

// ---- certificates ----

namespace {

ssl_ctx_st* serverContext(const std::string& certPem, const std::string& keyPem) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  BIO* cb = BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size()));
  X509* cert = PEM_read_bio_X509(cb, nullptr, nullptr, nullptr);
  BIO_free(cb);
  BIO* kb = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(kb, nullptr, nullptr, nullptr);
  BIO_free(kb);
  SSL_CTX_use_certificate(ctx, cert);
  SSL_CTX_use_PrivateKey(ctx, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return ctx;
}

EVP_PKEY* newKey() { return EVP_EC_gen("P-256"); }

std::string pemCert(X509* c) {
  BIO* b = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(b, c);
  char* p = nullptr;
  const long n = BIO_get_mem_data(b, &p);
  std::string s(p, static_cast<std::size_t>(n));
  BIO_free(b);
  return s;
}

std::string pemKey(EVP_PKEY* k) {
  BIO* b = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(b, k, nullptr, nullptr, 0, nullptr, nullptr);
  char* p = nullptr;
  const long n = BIO_get_mem_data(b, &p);
  std::string s(p, static_cast<std::size_t>(n));
  BIO_free(b);
  return s;
}

void addExt(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, bool ca, const char* san,
               long serial) {
  X509* c = X509_new();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), serial);
  X509_gmtime_adj(X509_getm_notBefore(c), -3600);
  X509_gmtime_adj(X509_getm_notAfter(c), 3600L * 24 * 30);
  X509_set_pubkey(c, key);
  X509_NAME* name = X509_get_subject_name(c);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
  X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer) : name);
  X509* iss = issuer ? issuer : c;
  if (ca) {
    addExt(c, iss, NID_basic_constraints, "critical,CA:TRUE");
    addExt(c, iss, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExt(c, iss, NID_basic_constraints, "CA:FALSE");
    addExt(c, iss, NID_ext_key_usage, "serverAuth");
    addExt(c, iss, NID_subject_alt_name, san);
  }
  X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256());
  return c;
}

}  // namespace

const TestPki& Pki() {
  static const TestPki pki = [] {
    TestPki p;
    EVP_PKEY* caKey = newKey();
    X509* ca = makeCert(caKey, "Tavimo Test CA", nullptr, nullptr, true, nullptr, 1);
    p.caCertPem = pemCert(ca);

    EVP_PKEY* k1 = newKey();
    X509* good = makeCert(k1, "localhost", ca, caKey, false, "DNS:localhost,IP:127.0.0.1", 2);
    p.goodCertPem = pemCert(good);
    p.goodKeyPem = pemKey(k1);

    EVP_PKEY* k2 = newKey();
    X509* wrong = makeCert(k2, "other.example", ca, caKey, false, "DNS:other.example", 3);
    p.wrongHostCertPem = pemCert(wrong);
    p.wrongHostKeyPem = pemKey(k2);

    EVP_PKEY* k3 = newKey();
    X509* self = makeCert(k3, "localhost", nullptr, nullptr, false, "DNS:localhost,IP:127.0.0.1", 4);
    p.untrustedCertPem = pemCert(self);
    p.untrustedKeyPem = pemKey(k3);

    for (X509* c : {ca, good, wrong, self}) X509_free(c);
    for (EVP_PKEY* k : {caKey, k1, k2, k3}) EVP_PKEY_free(k);
    return p;
  }();
  return pki;
}

}  // namespace tavimo::test
