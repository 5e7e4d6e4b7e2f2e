#pragma once
// TLS for TWSocket: OpenSSL on the socket's non-blocking descriptor, driven by the same
// readiness notices as plain data. The peer certificate is checked against the system trust
// store (plus the socket's extra CA file, if it has one) and the host name; nothing in the
// product turns that off.
#include <string>

struct ssl_st;

namespace tavimo {

// A read error of its own: the peer ended the connection without close_notify, so whatever
// ends with the connection may have been cut short by an attacker.
constexpr int TLS_TRUNCATED = 12007;

class TSslLayer {
 public:
  enum class Step { Done, WantRead, WantWrite, Failed };

  // hostName is what the certificate must be for (also sent as SNI unless it is an address);
  // extraCaFile: PEM certificates trusted beside the system's (empty: the system's only).
  TSslLayer(int fd, const std::string& hostName, const std::string& extraCaFile = {});
  ~TSslLayer();
  TSslLayer(const TSslLayer&) = delete;
  TSslLayer& operator=(const TSslLayer&) = delete;

  // One step of the handshake; on Failed, error holds one of the TLS_* codes.
  Step Handshake(int& error);
  // > 0 bytes; 0 when the peer closed; -1 with error (WSAEWOULDBLOCK when nothing complete
  // is waiting; wantWrite set when the socket must become writable first).
  int Read(void* buffer, int len, int& error, bool& wantWrite);
  // > 0 bytes taken; -1 with error (WSAEWOULDBLOCK: wait for FD_WRITE).
  int Write(const void* data, int len, int& error);
  // Decrypted bytes ready to be read without touching the socket.
  int Pending() const;
  // Sends close_notify when it can do so without waiting.
  void Shutdown();

 private:
  ssl_st* ssl_ = nullptr;
};

}  // namespace tavimo
