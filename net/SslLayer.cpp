#include "net/SslLayer.h"

#include "compat/WinsockErrors.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <map>
#include <mutex>
#include <stdexcept>

namespace tavimo {
namespace {

SSL_CTX* newContext(const std::string& extraCaFile) {
  SSL_CTX* c = SSL_CTX_new(TLS_client_method());
  if (!c) throw std::runtime_error("TLS: cannot create a context");
  SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
  SSL_CTX_set_default_verify_paths(c);
  // A file that cannot be read adds nothing: servers only it would vouch for stay untrusted
  // and their handshakes fail with that reason.
  if (!extraCaFile.empty()) SSL_CTX_load_verify_locations(c, extraCaFile.c_str(), nullptr);
  ERR_clear_error();
  SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
  // An end without close_notify is reported (TLS_TRUNCATED), not taken as a clean close:
  // a body framed by the close would otherwise accept a cut as complete.
  SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return c;
}

SSL_CTX* sharedContext() {
  static SSL_CTX* ctx = newContext({});
  return ctx;
}

// One context per extra CA file, made on its first use and kept (a context is what OpenSSL
// reads the file into; a file changed later is not read again). Freed at exit: a connection
// still open holds its own reference.
class ContextsByFile {
 public:
  ~ContextsByFile() {
    for (auto& [file, ctx] : contexts_) SSL_CTX_free(ctx);
  }
  SSL_CTX* For(const std::string& extraCaFile) {
    std::lock_guard lock(mutex_);
    SSL_CTX*& ctx = contexts_[extraCaFile];
    if (!ctx) ctx = newContext(extraCaFile);
    return ctx;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, SSL_CTX*> contexts_;
};

SSL_CTX* contextFor(const std::string& extraCaFile) {
  if (extraCaFile.empty()) return sharedContext();
  static ContextsByFile contexts;
  return contexts.For(extraCaFile);
}

bool isAddress(const std::string& host) {
  in_addr a4;
  in6_addr a6;
  return inet_pton(AF_INET, host.c_str(), &a4) == 1 || inet_pton(AF_INET6, host.c_str(), &a6) == 1;
}

int verifyFailure(long result) {
  switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return TLS_CERT_WRONG_HOST;
    case X509_V_ERR_CERT_HAS_EXPIRED: return TLS_CERT_EXPIRED;
    case X509_V_ERR_CERT_NOT_YET_VALID: return TLS_CERT_NOT_YET_VALID;
    case X509_V_OK: return TLS_HANDSHAKE_FAILED;
    default: return TLS_CERT_UNTRUSTED;
  }
}

}  // namespace

TSslLayer::TSslLayer(int fd, const std::string& hostName, const std::string& extraCaFile) {
  ssl_ = SSL_new(contextFor(extraCaFile));
  if (!ssl_) throw std::runtime_error("TLS: cannot create a session");
  SSL_set_fd(ssl_, fd);
  if (isAddress(hostName)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), hostName.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, hostName.c_str());
    SSL_set1_host(ssl_, hostName.c_str());
  }
  SSL_set_connect_state(ssl_);
}

TSslLayer::~TSslLayer() { SSL_free(ssl_); }

TSslLayer::Step TSslLayer::Handshake(int& error) {
  ERR_clear_error();
  const int rc = SSL_do_handshake(ssl_);
  if (rc == 1) return Step::Done;
  switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_WANT_READ: return Step::WantRead;
    case SSL_ERROR_WANT_WRITE: return Step::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
    case SSL_ERROR_SYSCALL:
      error = SSL_get_verify_result(ssl_) != X509_V_OK ? verifyFailure(SSL_get_verify_result(ssl_))
                                                       : TLS_CLOSED_DURING_HANDSHAKE;
      return Step::Failed;
    default: error = verifyFailure(SSL_get_verify_result(ssl_)); return Step::Failed;
  }
}

int TSslLayer::Read(void* buffer, int len, int& error, bool& wantWrite) {
  wantWrite = false;
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_read(ssl_, buffer, len);
  if (rc > 0) return rc;
  switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_ZERO_RETURN: return 0;
    case SSL_ERROR_WANT_READ: error = WSAEWOULDBLOCK; return -1;
    case SSL_ERROR_WANT_WRITE:
      error = WSAEWOULDBLOCK;
      wantWrite = true;
      return -1;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) {
        error = TLS_TRUNCATED;
        return -1;
      }
      error = WinsockFromErrno(errno);
      return -1;
    case SSL_ERROR_SSL:
      error = ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING ? TLS_TRUNCATED
                                                                                     : WSAECONNRESET;
      return -1;
    default: error = WSAECONNRESET; return -1;
  }
}

int TSslLayer::Write(const void* data, int len, int& error) {
  ERR_clear_error();
  errno = 0;
  const int rc = SSL_write(ssl_, data, len);
  if (rc > 0) return rc;
  switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE: error = WSAEWOULDBLOCK; return -1;
    case SSL_ERROR_SYSCALL: error = errno ? WinsockFromErrno(errno) : WSAECONNRESET; return -1;
    default: error = WSAECONNRESET; return -1;
  }
}

int TSslLayer::Pending() const { return SSL_pending(ssl_); }

void TSslLayer::Shutdown() {
  ERR_clear_error();
  if (SSL_is_init_finished(ssl_)) SSL_shutdown(ssl_);
  ERR_clear_error();
}

}  // namespace tavimo
