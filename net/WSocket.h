#pragma once
// TWSocket: an event-driven TCP client socket. Lookups, connects and sends never block; every
// outcome arrives as an event on the UI thread through the socket's message window.
// Built here: the client side the HTTP client uses (no SOCKS, listening, datagram or line mode:
// those layers would only pass data through). An optional TLS layer runs its handshake after the
// TCP connect and before OnSessionConnected; failures come as OnSessionConnected(error) with the
// TLS_* codes of platform/WinsockErrors.h.
#include "net/Buffer.h"
#include "net/NetServices.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavimo {

class MessageWindow;
class SocketNotices;
class HostLookup;
class TSslLayer;

enum TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TWSocketOption : unsigned { wsoNoReceiveLoop = 1 };

class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Name resolution, usable alone (blocking). All raise ESocketException.
std::uint32_t WSocketResolveHost(const std::string& host);  // network order
// The same through resolver (empty: the system's getaddrinfo).
std::uint32_t WSocketResolveHost(const std::string& host, const HostResolver& resolver);
std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);  // host order
int WSocketResolveProto(const std::string& proto);

class TWSocket {
 public:
  // Message numbers of the socket's window.
  static constexpr unsigned WM_ASYNCSELECT = 0x0400 + 1;
  static constexpr unsigned WM_ASYNCGETHOSTBYNAME = 0x0400 + 2;
  static constexpr unsigned WM_CLOSE_DELAYED = 0x0400 + 4;
  static constexpr unsigned WM_WSOCKET_TEST = 0x0400 + 6;

  using TNotifyEvent = std::function<void(TWSocket* sender)>;
  using TSessionEvent = std::function<void(TWSocket* sender, std::uint16_t error)>;
  using TChangeStateEvent =
      std::function<void(TWSocket* sender, TSocketState oldState, TSocketState newState)>;
  using TSendDataEvent = std::function<void(TWSocket* sender, std::int32_t bytesSent)>;
  using TBgExceptionEvent = std::function<void(TWSocket* sender, const std::exception& e, bool& canClose)>;

  explicit TWSocket(NetServices services = {});
  virtual ~TWSocket();
  TWSocket(const TWSocket&) = delete;
  TWSocket& operator=(const TWSocket&) = delete;

  // Name lookups and TLS trust of this socket, best set before use: a lookup under way is
  // cancelled (as by CancelDnsLookup), and a TLS session already made keeps its trust.
  void SetNetServices(NetServices services);
  const NetServices& Services() const { return services_; }

  // Properties. Addr, Port and Proto may change only while wsClosed.
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return port_; }
  virtual void SetPort(const std::string& value);
  const std::string& Proto() const { return proto_; }
  virtual void SetProto(const std::string& value);
  std::string LocalAddr = "0.0.0.0";
  std::string LocalPort = "0";
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  TSocketState State() const { return state_; }
  std::int64_t ReadCount() const { return readCount_; }
  int LastError() const { return lastError_; }
  bool MultiThreaded = false;
  unsigned ComponentOptions = 0;
  // Most bytes one read notice hands to OnDataAvailable before the loop yields to the event
  // loop (default 1 MiB, 0 = no bound): a flood must not keep timers and other sockets waiting.
  std::int64_t MaxReadPerPass = 1024 * 1024;
  TSocketSendFlags SendFlags = wsSendNormal;
  TSocketLingerOnOff LingerOnOff = wsLingerOn;
  int LingerTimeout = 0;
  int FlushTimeout = 60;
  // TLS: on for the next Connect when set; SslHostName is what the certificate must name.
  // Every close clears both, like Addr and Port.
  bool SslEnable = false;
  std::string SslHostName;

  // Events.
  TSessionEvent OnDnsLookupDone;
  TSessionEvent OnSessionConnected;
  TSessionEvent OnDataAvailable;
  TSessionEvent OnDataSent;
  TSessionEvent OnSessionClosed;
  TSessionEvent OnSessionAvailable;
  TChangeStateEvent OnChangeState;
  TSendDataEvent OnSendData;
  TNotifyEvent OnError;
  TNotifyEvent OnLineTooLong;  // never fired
  TBgExceptionEvent OnBgException;

  // Operations.
  virtual void DnsLookup(const std::string& hostName);
  virtual void CancelDnsLookup();
  virtual void Connect();
  virtual std::int32_t Send(const void* data, std::int32_t len);
  virtual std::int32_t Receive(void* buffer, std::int32_t len);
  // Like Receive, but hands out up to len bytes where they lie in the read-ahead buffer instead
  // of copying them (bulk bodies); they count as read, and `data` stays valid until the next read.
  std::int32_t ReceiveView(const char*& data, std::int32_t len);
  virtual void Close();
  // Close without shutting the sending side first: the handle goes under the linger setting in
  // force (by default a reset). For a connection whose exchange is over, where the shutdown's
  // end-of-data would only cost the peer one more wake-up before the close.
  void CloseWithoutShutdown() { InternalClose(false, 0); }
  virtual void Abort();
  // TLS on an already connected socket (a tunnel through a proxy): the handshake ends with
  // OnSessionConnected (0, or the TLS error, after which the socket is closed).
  void StartTls(const std::string& hostName);
  void CloseDelayed();
  virtual void ProcessMessages();
  virtual void MessageLoopStep();
  bool Terminated() const { return terminated_; }
  void Pause();
  void Resume();
  // Bytes waiting to be read (FIONREAD, or decrypted TLS bytes); -1 on failure.
  long BytesWaiting();
  // Exposed for tests: how many blocks the send queue holds.
  std::size_t SendQueueBlocks() const { return sendQueue_.size(); }
  // Exposed for tests: the window's message handling, as a posted message would run it.
  void PostTestException();

 protected:
  virtual void WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
  virtual void ResetSocket();
  virtual void InternalClose(bool shutdown, std::uint16_t error);
  virtual void RaiseSocketError(const std::string& text);
  virtual void HandleBgException(const std::exception& e);
  void SocketError(const std::string& functionName);
  void ChangeState(TSocketState newState);

  virtual void TriggerDataAvailable(std::uint16_t error);
  virtual void TriggerSessionConnected(std::uint16_t error);
  virtual void TriggerSessionClosed(std::uint16_t error);
  virtual void TriggerDataSent(std::uint16_t error);
  virtual void TriggerDnsLookupDone(std::uint16_t error);

 private:
  void socketEvent(unsigned events, int error);
  void lookupDone(std::uintptr_t id, int error);
  void receiveLoop(std::uint16_t error);
  void tryToSend();
  void connectDone(int error);
  void tlsStep();
  int rawSend(const void* data, int len, int& error);
  int rawReceive(void* buffer, int len);
  void closeHandle();
  void setLastError(int error) { lastError_ = error; }

  // Also the socket's liveness: a handler may destroy the socket, so code that runs on after
  // one holds a QPointer to the window, which Qt clears when the socket goes.
  NetServices services_;
  std::unique_ptr<MessageWindow> window_;
  std::unique_ptr<HostLookup> lookup_;
  std::unique_ptr<SocketNotices> notices_;
  std::unique_ptr<TSslLayer> ssl_;
  int fd_ = -1;
  std::uintptr_t handleId_ = 0;  // stamps notices so a stale one never reaches a newer socket
  std::string addr_, port_, proto_ = "tcp";
  bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = true;
  bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false, localPortResolved_ = false;
  std::uint32_t sinAddr_ = 0;
  std::uint16_t sinPort_ = 0, localPortNumber_ = 0;
  int protoNumber_ = 6;
  int sockType_ = 1;  // SOCK_STREAM
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  TSocketState state_ = wsClosed;
  std::int64_t readCount_ = 0;
  int lastError_ = 0;
  std::deque<std::unique_ptr<TBuffer>> sendQueue_;
  // Read-ahead: one recv fills up to 64 KiB, small Receive calls are served from here.
  static constexpr int kReadAhead = 65536;
  std::unique_ptr<char[]> rx_;
  int rxPos_ = 0, rxLen_ = 0;
  bool allSent_ = true;
  bool closeSignalled_ = false;
  bool paused_ = false;
  bool terminated_ = false;
  bool destroying_ = false;
  bool handshaking_ = false;
};

}  // namespace tavimo
