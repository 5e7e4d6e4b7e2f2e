#pragma once
// The socket layer reports errors with Winsock's numbers so that every text the components
// show ("... (Error #10061)") reads the same on Linux. errno and resolver results are mapped here.
#include <cstdint>
#include <string>

namespace tavimo {

enum WinsockError : int {
  WSAEINTR = 10004,
  WSAEBADF = 10009,
  WSAEACCES = 10013,
  WSAEFAULT = 10014,
  WSAEINVAL = 10022,
  WSAEMFILE = 10024,
  WSAEWOULDBLOCK = 10035,
  WSAEINPROGRESS = 10036,
  WSAEALREADY = 10037,
  WSAENOTSOCK = 10038,
  WSAEDESTADDRREQ = 10039,
  WSAEMSGSIZE = 10040,
  WSAEPROTOTYPE = 10041,
  WSAENOPROTOOPT = 10042,
  WSAEPROTONOSUPPORT = 10043,
  WSAESOCKTNOSUPPORT = 10044,
  WSAEOPNOTSUPP = 10045,
  WSAEPFNOSUPPORT = 10046,
  WSAEAFNOSUPPORT = 10047,
  WSAEADDRINUSE = 10048,
  WSAEADDRNOTAVAIL = 10049,
  WSAENETDOWN = 10050,
  WSAENETUNREACH = 10051,
  WSAENETRESET = 10052,
  WSAECONNABORTED = 10053,
  WSAECONNRESET = 10054,
  WSAENOBUFS = 10055,
  WSAEISCONN = 10056,
  WSAENOTCONN = 10057,
  WSAESHUTDOWN = 10058,
  WSAETOOMANYREFS = 10059,
  WSAETIMEDOUT = 10060,
  WSAECONNREFUSED = 10061,
  WSAELOOP = 10062,
  WSAENAMETOOLONG = 10063,
  WSAEHOSTDOWN = 10064,
  WSAEHOSTUNREACH = 10065,
  WSAENOTEMPTY = 10066,
  WSAEPROCLIM = 10067,
  WSAEUSERS = 10068,
  WSAEDQUOT = 10069,
  WSAESTALE = 10070,
  WSAEREMOTE = 10071,
  WSASYSNOTREADY = 10091,
  WSAVERNOTSUPPORTED = 10092,
  WSANOTINITIALISED = 10093,
  WSAHOST_NOT_FOUND = 11001,
  WSATRY_AGAIN = 11002,
  WSANO_RECOVERY = 11003,
  WSANO_DATA = 11004,
};

// Our TLS layer's own failures; Winsock has nothing for them. Each has a sentence a user
// understands (see SocketErrorText).
enum TlsError : int {
  TLS_HANDSHAKE_FAILED = 12001,
  TLS_CERT_UNTRUSTED = 12002,
  TLS_CERT_WRONG_HOST = 12003,
  TLS_CERT_EXPIRED = 12004,
  TLS_CERT_NOT_YET_VALID = 12005,
  TLS_CLOSED_DURING_HANDSHAKE = 12006,
};

// errno value (from socket, connect, send, recv, ...) to the Winsock code.
int WinsockFromErrno(int err);
// getaddrinfo result (EAI_*; EAI_SYSTEM reads errno) to the Winsock resolver code.
int WinsockFromGai(int gaiResult, int savedErrno);
// The English text for a code; "Not a WinSock error" for unknown ones.
std::string SocketErrorText(int code);

}  // namespace tavimo
