#include "net/WSocket.h"

#include "net/SslLayer.h"
#include "platform/HostLookup.h"
#include "compat/MessageWindow.h"
#include "base/EventWait.h"
#include "platform/SocketNotices.h"
#include "compat/WinsockErrors.h"
#include "base/TextUtils.h"

#include <QPointer>

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavimo {
namespace {

std::string trimSpaces(const std::string& s) { return std::string(Trim(s, " ")); }

std::uintptr_t nextHandleId() {
  static std::uintptr_t counter = 0;  // UI thread only
  return ++counter;
}

void ignoreSigpipeOnce() {
  // Writes to a socket the peer reset must fail with EPIPE, not end the program (TLS writes
  // cannot pass MSG_NOSIGNAL).
  static const bool done = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

constexpr std::intptr_t makeSelectReply(unsigned events, int error) {
  return static_cast<std::intptr_t>((static_cast<unsigned>(error) << 16) | (events & 0xFFFF));
}

}  // namespace

// ---- resolvers ----

std::uint32_t WSocketResolveHost(const std::string& host) { return WSocketResolveHost(host, {}); }

std::uint32_t WSocketResolveHost(const std::string& host, const HostResolver& resolver) {
  if (host.empty() || host.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
  const std::string t = trimSpaces(host);
  int dots = 0;
  bool dotted = !t.empty();
  for (char c : t) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') dotted = false;
  }
  if (dotted && dots == 3) {
    in_addr a{};
    if (::inet_aton(t.c_str(), &a) == 0 && t != "255.255.255.255")
      throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
    return a.s_addr;
  }
  const HostAnswer answer = resolver ? resolver(host) : LookupHost(host);
  if (answer.error != 0 || answer.addresses.empty()) {
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host + "', Error #" +
                           std::to_string(answer.error ? answer.error : WSANO_DATA));
  }
  in_addr a{};
  ::inet_aton(answer.addresses.front().c_str(), &a);
  return a.s_addr;
}

std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (port[0] >= '0' && port[0] <= '9') {
    long value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') break;
      value = value * 10 + (c - '0');
      if (value > 65535) {
        throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                               std::to_string(WSAEINVAL));
      }
    }
    return static_cast<std::uint16_t>(value);
  }
  const servent* se = ::getservbyname(port.c_str(), proto.c_str());
  if (!se) {
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                           std::to_string(WSANO_DATA));
  }
  return ntohs(static_cast<std::uint16_t>(se->s_port));
}

int WSocketResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  if (proto[0] >= '0' && proto[0] <= '9') {
    int value = 0;
    for (char c : proto) {
      if (c < '0' || c > '9' || value > 1000000) break;
      value = value * 10 + (c - '0');
    }
    return value;
  }
  const protoent* pe = ::getprotobyname(proto.c_str());
  if (!pe) {
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                           std::to_string(WSANO_DATA));
  }
  return pe->p_proto;
}

// ---- life ----

TWSocket::TWSocket(NetServices services) : services_(std::move(services)) {
  ignoreSigpipeOnce();
  window_ = std::make_unique<MessageWindow>(
      [this](unsigned msg, std::uintptr_t w, std::intptr_t l) { WndProc(msg, w, l); });
  lookup_ = std::make_unique<HostLookup>(window_.get(), WM_ASYNCGETHOSTBYNAME, services_.Resolver);
  TWSocket::ResetSocket();
}

void TWSocket::SetNetServices(NetServices services) {
  CancelDnsLookup();  // it was asked of the old resolver; ends as any cancelled lookup does
  services_ = std::move(services);
  lookup_ = std::make_unique<HostLookup>(window_.get(), WM_ASYNCGETHOSTBYNAME, services_.Resolver);
}

TWSocket::~TWSocket() {
  destroying_ = true;
  try {
    CancelDnsLookup();
  } catch (...) {
  }
  try {
    if (state_ != wsClosed || fd_ >= 0) InternalClose(false, 0);
  } catch (...) {
  }
  closeHandle();
  lookup_.reset();
  window_.reset();
}

void TWSocket::ResetSocket() {
  addr_.clear();
  port_.clear();
  proto_ = "tcp";
  addrAssigned_ = portAssigned_ = false;
  protoAssigned_ = true;
  addrResolved_ = portResolved_ = localPortResolved_ = false;
  protoResolved_ = true;
  protoNumber_ = IPPROTO_TCP;
  sockType_ = SOCK_STREAM;
  LocalAddr = "0.0.0.0";
  LocalPort = "0";
  LingerOnOff = wsLingerOn;
  LingerTimeout = 0;
  FlushTimeout = 60;
  state_ = wsClosed;
  allSent_ = true;
  paused_ = false;
  readCount_ = 0;
  closeSignalled_ = false;
  handshaking_ = false;
  SslEnable = false;
  SslHostName.clear();
}

// ---- setters ----

void TWSocket::SetAddr(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseSocketError("Cannot change Addr if not closed");
    return;
  }
  const std::string v = trimSpaces(value);
  if (v.empty()) {
    addr_.clear();
    addrAssigned_ = addrResolved_ = false;
    return;
  }
  if (addrAssigned_ && v == addr_) return;  // keep the resolved conversion
  addr_ = v;
  addrAssigned_ = true;
  addrResolved_ = false;
}

void TWSocket::SetPort(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseSocketError("Cannot change Port if not closed");
    return;
  }
  const std::string v = trimSpaces(value);
  if (v.empty()) {
    port_.clear();
    portAssigned_ = portResolved_ = false;
    return;
  }
  if (portAssigned_ && v == port_) return;
  port_ = v;
  portAssigned_ = true;
  portResolved_ = false;
}

void TWSocket::SetProto(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseSocketError("Cannot change Proto if not closed");
    return;
  }
  const std::string v = trimSpaces(value);
  if (v.empty()) {
    proto_.clear();
    protoAssigned_ = protoResolved_ = false;
    return;
  }
  if (protoAssigned_ && v == proto_) return;
  proto_ = v;
  protoAssigned_ = true;
  protoResolved_ = false;
  portResolved_ = false;  // a service name depends on the protocol
}

// ---- errors and state ----

void TWSocket::ChangeState(TSocketState newState) {
  const TSocketState old = state_;
  state_ = newState;
  if (OnChangeState) OnChangeState(this, old, newState);
}

void TWSocket::RaiseSocketError(const std::string& text) {
  if (OnError) {
    OnError(this);
    return;
  }
  throw ESocketException(text);
}

void TWSocket::SocketError(const std::string& functionName) {
  const int n = lastError_;
  const std::string text =
      "Error " + std::to_string(n) + " in function " + functionName + "\r\n" + SocketErrorText(n);
  if (n == WSAECONNRESET || n == WSAENOTCONN) {
    closeHandle();
    ChangeState(wsClosed);
  }
  lastError_ = n;
  RaiseSocketError(text);
}

void TWSocket::HandleBgException(const std::exception& e) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, e, canClose);
    } catch (...) {
    }
  }
  if (canClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---- triggers ----

void TWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (OnDataAvailable) OnDataAvailable(this, error);
}
void TWSocket::TriggerSessionConnected(std::uint16_t error) {
  if (OnSessionConnected) OnSessionConnected(this, error);
}
void TWSocket::TriggerSessionClosed(std::uint16_t error) {
  // A copy: the handler may point OnSessionClosed somewhere else while it runs.
  const TSessionEvent handler = OnSessionClosed;
  if (handler) handler(this, error);
}
void TWSocket::TriggerDataSent(std::uint16_t error) {
  if (OnDataSent) OnDataSent(this, error);
}
void TWSocket::TriggerDnsLookupDone(std::uint16_t error) {
  if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

// ---- message window ----

void TWSocket::PostTestException() { window_->post(WM_WSOCKET_TEST, 0, 0); }

void TWSocket::CloseDelayed() { window_->post(WM_CLOSE_DELAYED, 0, 0); }

void TWSocket::WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  try {
    switch (msg) {
      case WM_ASYNCSELECT:
        if (wParam != handleId_ || fd_ < 0 || paused_) return;
        socketEvent(static_cast<unsigned>(lParam & 0xFFFF),
                    static_cast<int>((static_cast<std::uintptr_t>(lParam) >> 16) & 0xFFFF));
        break;
      case WM_ASYNCGETHOSTBYNAME:
        lookupDone(wParam, static_cast<int>((static_cast<std::uintptr_t>(lParam) >> 16) & 0xFFFF));
        break;
      case WM_CLOSE_DELAYED: Close(); break;
      case WM_WSOCKET_TEST: throw ESocketException("Test exception in WSocket");
      default: break;
    }
  } catch (const std::exception& e) {
    HandleBgException(e);
  }
}

void TWSocket::socketEvent(unsigned events, int error) {
  const QPointer<MessageWindow> self(window_.get());
  const std::uintptr_t id = handleId_;
  auto same = [&] { return self && handleId_ == id && fd_ >= 0; };

  if (events & FD_CONNECT) {
    if (SslEnable && error == 0) {
      ssl_ =
          std::make_unique<TSslLayer>(fd_, SslHostName.empty() ? addr_ : SslHostName, services_.ExtraCaFile);
      handshaking_ = true;
      tlsStep();
      return;
    }
    connectDone(error);
    if (!same()) return;
  }
  if (handshaking_) {
    if (events & FD_CLOSE) {
      handshaking_ = false;
      connectDone(error ? error : TLS_CLOSED_DURING_HANDSHAKE);
    } else if (events & (FD_READ | FD_WRITE)) {
      tlsStep();
    }
    return;
  }
  if (events & FD_READ) {
    receiveLoop(static_cast<std::uint16_t>(error));
    if (!same()) return;
  }
  if (events & FD_WRITE) {
    tryToSend();
    if (!same()) return;
    if (allSent_) TriggerDataSent(static_cast<std::uint16_t>(error));
    if (!same()) return;
  }
  if (events & FD_ACCEPT) {
    if (OnSessionAvailable) OnSessionAvailable(this, static_cast<std::uint16_t>(error));
    if (!same()) return;
  }
  if (events & FD_CLOSE) {
    if (state_ == wsConnecting) return;
    receiveLoop(0);
    if (!same()) return;
    if (!closeSignalled_) {
      closeSignalled_ = true;
      TriggerSessionClosed(static_cast<std::uint16_t>(error));
    }
    if (self && handleId_ == id && state_ != wsClosed) Close();
  }
}

void TWSocket::connectDone(int error) {
  ChangeState(wsConnected);
  TriggerSessionConnected(static_cast<std::uint16_t>(error));
  if (error != 0 && state_ != wsClosed) Close();
}

void TWSocket::tlsStep() {
  int error = 0;
  switch (ssl_->Handshake(error)) {
    case TSslLayer::Step::Done: {
      handshaking_ = false;
      notices_->WatchRead();
      const std::uintptr_t id = handleId_;
      connectDone(0);
      // Winsock follows a connect with one FD_WRITE; the handshake took its place.
      if (handleId_ == id && fd_ >= 0) window_->post(WM_ASYNCSELECT, id, makeSelectReply(FD_WRITE, 0));
      break;
    }
    case TSslLayer::Step::WantRead: notices_->WatchRead(); break;
    case TSslLayer::Step::WantWrite: notices_->WatchWrite(); break;
    case TSslLayer::Step::Failed:
      handshaking_ = false;
      connectDone(error);
      break;
  }
}

void TWSocket::StartTls(const std::string& hostName) {
  if (state_ != wsConnected || fd_ < 0 || ssl_ || rxLen_ > rxPos_) {
    lastError_ = WSAENOTCONN;
    SocketError("StartTls");
    return;
  }
  SslHostName = hostName;
  ssl_ = std::make_unique<TSslLayer>(fd_, hostName, services_.ExtraCaFile);
  handshaking_ = true;
  tlsStep();
}

// ---- lookup ----

void TWSocket::DnsLookup(const std::string& hostName) {
  if (hostName.empty()) {
    RaiseSocketError("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  lookup_->Cancel();
  dnsResult_.clear();
  dnsResultList_.clear();
  in_addr a{};
  if (::inet_aton(hostName.c_str(), &a) != 0) {
    dnsResult_ = ::inet_ntoa(a);
    dnsResultList_.push_back(dnsResult_);
    TriggerDnsLookupDone(0);
    return;
  }
  lookup_->Start(hostName);
}

void TWSocket::lookupDone(std::uintptr_t id, int error) {
  const std::unique_ptr<HostAnswer> answer = lookup_->Finish(id);
  if (!answer) return;
  if (error == 0) {
    dnsResultList_ = answer->addresses;
    if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
  }
  TriggerDnsLookupDone(static_cast<std::uint16_t>(error));
}

void TWSocket::CancelDnsLookup() {
  if (!lookup_ || !lookup_->Pending()) return;
  lookup_->Cancel();
  if (!destroying_) TriggerDnsLookupDone(WSAEINTR);
}

// ---- connect ----

void TWSocket::Connect() {
  lastError_ = 0;  // an error of an earlier connection says nothing about this one
  if (fd_ >= 0 && state_ != wsClosed) {
    RaiseSocketError("Connect: Socket already in use");
    return;
  }
  if (!portAssigned_) {
    RaiseSocketError("Connect: No Port Specified");
    return;
  }
  if (!addrAssigned_) {
    RaiseSocketError("Connect: No IP Address Specified");
    return;
  }
  if (!protoAssigned_) {
    RaiseSocketError("Connect: No Protocol Specified");
    return;
  }
  try {
    if (!protoResolved_) {
      protoNumber_ = WSocketResolveProto(proto_);
      sockType_ = protoNumber_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
      protoResolved_ = true;
    }
    if (!portResolved_) {
      sinPort_ = WSocketResolvePort(port_, proto_);
      portResolved_ = true;
    }
    if (!localPortResolved_) {
      localPortNumber_ = WSocketResolvePort(LocalPort, proto_);
      localPortResolved_ = true;
    }
    if (!addrResolved_) {
      sinAddr_ = WSocketResolveHost(addr_, services_.Resolver);
      addrResolved_ = true;
    }
  } catch (const ESocketException& e) {
    RaiseSocketError(std::string("connect: ") + e.what());
    return;
  }
  sendQueue_.clear();
  allSent_ = true;

  fd_ = ::socket(AF_INET, sockType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protoNumber_);
  if (fd_ < 0) {
    lastError_ = WinsockFromErrno(errno);
    SocketError("Connect (socket)");
    return;
  }
  handleId_ = nextHandleId();
  ChangeState(wsOpened);

  if (sockType_ == SOCK_STREAM) {
    if (localPortNumber_ != 0 || LocalAddr != "0.0.0.0") {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      local.sin_port = htons(localPortNumber_);
      ::inet_aton(LocalAddr.c_str(), &local.sin_addr);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        lastError_ = WinsockFromErrno(errno);
        RaiseSocketError("winsock.bind failed, error #" + std::to_string(lastError_));
        return;
      }
    }
    if (LingerOnOff != wsLingerNoSet) {
      linger l{};
      l.l_onoff = LingerOnOff == wsLingerOn ? 1 : 0;
      l.l_linger = LingerTimeout;
      if (::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) {
        lastError_ = WinsockFromErrno(errno);
        SocketError("setsockopt(SO_LINGER)");
        return;
      }
    }
    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
      lastError_ = WinsockFromErrno(errno);
      SocketError("setsockopt(SO_KEEPALIVE)");
      return;
    }
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
      lastError_ = WinsockFromErrno(errno);
      SocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
  }

  const std::uintptr_t id = handleId_;
  notices_ = std::make_unique<SocketNotices>(fd_, [this, id](unsigned events, int error) {
    window_->send(WM_ASYNCSELECT, id, makeSelectReply(events, error));
  });

  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(sinPort_);
  remote.sin_addr.s_addr = sinAddr_;
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0 || errno == EINPROGRESS) {
    ChangeState(wsConnecting);
    notices_->WatchConnect();
    return;
  }
  lastError_ = WinsockFromErrno(errno);
  SocketError("Connect");
}

// ---- data ----

long TWSocket::BytesWaiting() {
  if (fd_ < 0) return -1;
  if (rxLen_ > rxPos_) return rxLen_ - rxPos_;
  if (ssl_ && !handshaking_) {
    const int pending = ssl_->Pending();
    if (pending > 0) return pending;
  }
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) return -1;
  return n;
}

void TWSocket::receiveLoop(std::uint16_t error) {
  const QPointer<MessageWindow> self(window_.get());
  const std::uintptr_t id = handleId_;
  const std::int64_t atStart = readCount_;
  bool yielded = false;
  for (;;) {
    lastError_ = 0;
    const std::int64_t before = readCount_;
    if (OnDataAvailable) {
      try {
        TriggerDataAvailable(error);
      } catch (...) {
        return;  // a failing handler ends this pass; the socket stays open
      }
    } else {
      char junk[1024];
      if (Receive(junk, sizeof junk) < 0 && lastError_ == WSAEWOULDBLOCK) {
        lastError_ = 0;
        break;
      }
    }
    if (!self || handleId_ != id || fd_ < 0) return;
    if (ComponentOptions & wsoNoReceiveLoop) break;
    if (lastError_ == 0) {
      const long waiting = BytesWaiting();
      if (waiting < 0) {
        lastError_ = WinsockFromErrno(errno);
        break;
      }
      if (waiting == 0) break;
      // A handler that reads nothing would keep us here for ever; wait for the next notice.
      if (readCount_ == before) break;
    }
    if (lastError_ != 0) break;
    if (MaxReadPerPass > 0 && readCount_ - atStart >= MaxReadPerPass) {
      yielded = true;  // the rest comes with the notice posted below, after pending timers
      break;
    }
  }
  // Bytes we hold ourselves (read-ahead, decrypted TLS) wake no notifier: say so ourselves,
  // as Winsock would after a recv that left data behind.
  if (fd_ >= 0 && readCount_ != atStart && (yielded || rxLen_ > rxPos_ || (ssl_ && ssl_->Pending() > 0)))
    window_->post(WM_ASYNCSELECT, handleId_, makeSelectReply(FD_READ, 0));
}

std::int32_t TWSocket::Receive(void* buffer, std::int32_t len) {
  if (fd_ < 0) {
    lastError_ = WSAENOTSOCK;
    return -1;
  }
  if (len <= 0) return 0;
  if (notices_) notices_->WatchRead();
  int n;
  if (rxLen_ > rxPos_) {
    n = std::min(len, rxLen_ - rxPos_);
    std::memcpy(buffer, rx_.get() + rxPos_, static_cast<size_t>(n));
    rxPos_ += n;
    if (rxPos_ == rxLen_) rxPos_ = rxLen_ = 0;
  } else if (len >= kReadAhead / 2) {
    n = rawReceive(buffer, len);
  } else {
    if (!rx_) rx_ = std::make_unique<char[]>(kReadAhead);
    n = rawReceive(rx_.get(), kReadAhead);
    if (n > 0) {
      rxLen_ = n;
      n = std::min(len, rxLen_);
      std::memcpy(buffer, rx_.get(), static_cast<size_t>(n));
      rxPos_ = n;
      if (rxPos_ == rxLen_) rxPos_ = rxLen_ = 0;
    }
  }
  if (n > 0) readCount_ += n;
  return n;
}

std::int32_t TWSocket::ReceiveView(const char*& data, std::int32_t len) {
  if (fd_ < 0) {
    lastError_ = WSAENOTSOCK;
    return -1;
  }
  if (len <= 0) return 0;
  if (notices_) notices_->WatchRead();
  if (rxLen_ <= rxPos_) {
    if (!rx_) rx_ = std::make_unique<char[]>(kReadAhead);
    rxPos_ = rxLen_ = 0;
    const int got = rawReceive(rx_.get(), kReadAhead);
    if (got <= 0) return got;
    rxLen_ = got;
  }
  const int n = std::min(len, rxLen_ - rxPos_);
  data = rx_.get() + rxPos_;
  rxPos_ += n;  // not rewound here: the bytes handed out stay put until the next read
  readCount_ += n;
  return n;
}

int TWSocket::rawReceive(void* buffer, int len) {
  int n;
  if (ssl_ && !handshaking_) {
    int error = 0;
    bool wantWrite = false;
    n = ssl_->Read(buffer, len, error, wantWrite);
    if (n < 0) lastError_ = error;
    if (wantWrite) notices_->WatchWrite();
  } else {
    n = static_cast<int>(::recv(fd_, buffer, static_cast<size_t>(len), 0));
    if (n < 0) lastError_ = WinsockFromErrno(errno);
  }
  return n;
}

int TWSocket::rawSend(const void* data, int len, int& error) {
  if (ssl_) return ssl_->Write(data, len, error);
  const int flags = MSG_NOSIGNAL | (SendFlags == wsSendUrgent ? MSG_OOB : 0);
  const ssize_t n = ::send(fd_, data, static_cast<size_t>(len), flags);
  if (n < 0) error = WinsockFromErrno(errno);
  return static_cast<int>(n);
}

std::int32_t TWSocket::Send(const void* data, std::int32_t len) {
  if (state_ != wsConnected) {
    lastError_ = WSAENOTCONN;
    SocketError("Send");
    return -1;
  }
  if (len <= 0) return 0;
  allSent_ = false;
  const char* p = static_cast<const char*>(data);
  int left = len;
  if (sendQueue_.empty()) sendQueue_.push_back(std::make_unique<TBuffer>());
  while (left > 0) {
    const int n = sendQueue_.back()->Write(p, left);
    if (n == 0) {
      sendQueue_.push_back(std::make_unique<TBuffer>());
      continue;
    }
    p += n;
    left -= n;
  }
  const QPointer<MessageWindow> self(window_.get());
  tryToSend();
  // OnDataSent must come even when no write notice will (everything went at once).
  if (self && allSent_ && fd_ >= 0) window_->post(WM_ASYNCSELECT, handleId_, makeSelectReply(FD_WRITE, 0));
  return len;
}

void TWSocket::tryToSend() {
  if (fd_ < 0 || sendQueue_.empty()) return;
  const QPointer<MessageWindow> self(window_.get());
  for (;;) {
    TBuffer& first = *sendQueue_.front();
    int len = 0;
    const char* p = first.Peek(len);
    if (len > 0) {
      int error = 0;
      const int n = rawSend(p, len, error);
      if (n < 0) {
        switch (error) {
          case WSAECONNRESET:
          case WSAENOTSOCK:
          case WSAENOTCONN:
          case WSAEINVAL:
          case WSAECONNABORTED:
            closeSignalled_ = true;
            Close();
            TriggerSessionClosed(static_cast<std::uint16_t>(error));
            return;
          case WSAEWOULDBLOCK: notices_->WatchWrite(); return;
          default:
            lastError_ = error;
            SocketError("TryToSend failed");
            return;
        }
      }
      if (n == 0) return;
      if (OnSendData) {
        OnSendData(this, n);
        if (!self || fd_ < 0 || sendQueue_.empty()) return;
      }
      first.Remove(n);
      if (n < len) {
        notices_->WatchWrite();
        return;
      }
      continue;
    }
    if (sendQueue_.size() > 1) {
      sendQueue_.pop_front();
      continue;
    }
    allSent_ = true;
    return;
  }
}

// ---- close ----

void TWSocket::closeHandle() {
  notices_.reset();
  rxPos_ = rxLen_ = 0;
  if (ssl_) ssl_.reset();
  handshaking_ = false;
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TWSocket::InternalClose(bool shutdown, std::uint16_t error) {
  if (fd_ >= 0 && state_ != wsClosed) {
    if (shutdown) {
      if (ssl_ && !handshaking_) ssl_->Shutdown();
      ::shutdown(fd_, SHUT_WR);
    }
    closeHandle();
    ChangeState(wsClosed);
    if (!destroying_ && !closeSignalled_) {
      closeSignalled_ = true;
      const QPointer<MessageWindow> self(window_.get());
      TriggerSessionClosed(error);
      if (!self) return;
    }
    try {
      ResetSocket();
    } catch (...) {
    }
  } else if (state_ != wsClosed) {
    closeHandle();
    ChangeState(wsClosed);
    try {
      ResetSocket();
    } catch (...) {
    }
  }
}

void TWSocket::Close() { InternalClose(true, 0); }

void TWSocket::Abort() {
  CancelDnsLookup();
  sendQueue_.clear();
  allSent_ = true;
  if (fd_ >= 0 && state_ == wsConnected && sockType_ == SOCK_STREAM) {
    linger l{};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  InternalClose(false, 0);
}

// ---- pumps ----

void TWSocket::ProcessMessages() { tavimo::ProcessMessages(); }

void TWSocket::MessageLoopStep() { tavimo::ProcessMessages(); }

void TWSocket::Pause() {
  paused_ = true;
  if (notices_) notices_->Pause(true);
}

void TWSocket::Resume() {
  paused_ = false;
  if (notices_) notices_->Pause(false);
}

}  // namespace tavimo
