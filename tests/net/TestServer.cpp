#include "tests/net/TestServer.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tavimo::test {

namespace {
ssl_ctx_st* serverContext(const std::string& certPem, const std::string& keyPem);
}

// ---- connection ----

Conn::Conn(int fd, ssl_ctx_st* tls, TestServer* owner) : fd_(fd), owner_(owner) {
  if (tls) {
    ssl_ = SSL_new(tls);
    SSL_set_fd(ssl_, fd_);
  }
}

Conn::~Conn() {
  if (ssl_) SSL_free(ssl_);
  if (ownCtx_) SSL_CTX_free(ownCtx_);
  if (fd_ >= 0) ::close(fd_);
}

bool Conn::Handshake() { return !ssl_ || SSL_accept(ssl_) == 1; }

bool Conn::StartTls(const std::string& certPem, const std::string& keyPem) {
  ownCtx_ = serverContext(certPem, keyPem);
  ssl_ = SSL_new(ownCtx_);
  SSL_set_fd(ssl_, fd_);
  return SSL_accept(ssl_) == 1;
}

std::string Conn::ReadHead() {
  for (;;) {
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = pending_.substr(0, end + 4);
      pending_.erase(0, end + 4);
      std::lock_guard lock(owner_->mutex_);
      owner_->requests_.push_back(head);
      return head;
    }
    char buf[4096];
    const int n = ssl_ ? SSL_read(ssl_, buf, sizeof buf)
                       : static_cast<int>(::recv(fd_, buf, sizeof buf, 0));
    if (n <= 0) return {};
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

std::string Conn::ReadBytes(std::size_t n) {
  while (pending_.size() < n) {
    char buf[4096];
    const int got = ssl_ ? SSL_read(ssl_, buf, sizeof buf) : static_cast<int>(::recv(fd_, buf, sizeof buf, 0));
    if (got <= 0) break;
    pending_.append(buf, static_cast<std::size_t>(got));
  }
  std::string out = pending_.substr(0, n);
  pending_.erase(0, out.size());
  return out;
}

void Conn::Send(const std::string& bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    const int n = ssl_ ? SSL_write(ssl_, bytes.data() + off, static_cast<int>(bytes.size() - off))
                       : static_cast<int>(::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL));
    if (n <= 0) return;
    off += static_cast<std::size_t>(n);
  }
}

void Conn::SendSlowly(const std::string& bytes, int msPerByte) {
  for (char c : bytes) {
    Send(std::string(1, c));
    // Stop early once the client is gone.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, msPerByte) > 0) {
      char probe;
      if (::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return;
    }
  }
}

void Conn::WaitForClose(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      char buf[512];
      if (::recv(fd_, buf, sizeof buf, 0) <= 0) return;
    }
  }
}

void Conn::Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Conn::Reset() {
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd_);
  fd_ = -1;
}

void Conn::Close() {
  if (fd_ < 0) return;
  if (ssl_) SSL_shutdown(ssl_);
  ::shutdown(fd_, SHUT_WR);
  WaitForClose(2000);
  ::close(fd_);
  fd_ = -1;
}

// ---- server ----

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

}  // namespace

TestServer::TestServer(Script script, const std::string& certPem, const std::string& keyPem)
    : script_(std::move(script)) {
  if (!certPem.empty()) tls_ = serverContext(certPem, keyPem);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  for (auto& t : workers_) t.join();
  ::close(listenFd_);
  if (tls_) SSL_CTX_free(tls_);
}

void TestServer::acceptLoop() {
  int index = 0;
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_ || errno != EINTR) return;
      continue;
    }
    ++connections_;
    const int i = index++;
    workers_.emplace_back([this, fd, i] {
      Conn c(fd, tls_, this);
      if (!c.Handshake()) return;
      script_(c, i);
    });
  }
}

std::string TestServer::Url(const std::string& path) const {
  return (tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::vector<std::string> TestServer::Requests() const {
  std::lock_guard lock(const_cast<std::mutex&>(mutex_));
  return requests_;
}

std::string Response(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n" + body;
}

// ---- certificates ----

namespace {

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

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, bool ca,
               const char* san, long serial) {
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
