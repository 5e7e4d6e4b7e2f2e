#pragma once
// Readiness of a non-blocking socket, told the way WSAAsyncSelect tells it: FD_CONNECT once when
// the connect ends, FD_WRITE once after connect and after each would-block send, FD_READ again
// only after the reader called recv (Rearm), FD_CLOSE once, after the buffered data was drained.
#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tavimo {

enum SocketEventBit : unsigned {
  FD_READ = 1,
  FD_WRITE = 2,
  FD_OOB = 4,
  FD_ACCEPT = 8,
  FD_CONNECT = 16,
  FD_CLOSE = 32,
};

class SocketNotices : public QObject {
 public:
  // notice(events, winsockError) runs on the owning thread; it may destroy this object (what
  // follows a notice checks a QPointer to us first).
  using Notice = std::function<void(unsigned events, int error)>;

  SocketNotices(int fd, Notice notice);
  ~SocketNotices() override;
  SocketNotices(const SocketNotices&) = delete;
  SocketNotices& operator=(const SocketNotices&) = delete;

  void WatchConnect();  // a non-blocking connect is under way
  void WatchRead();     // after every recv: FD_READ may come again
  void WatchWrite();    // after a would-block send: FD_WRITE when there is room again
  void Pause(bool paused);

 private:
  void readable();
  void writable();

  int fd_;
  Notice notice_;
  std::unique_ptr<QSocketNotifier> read_;
  std::unique_ptr<QSocketNotifier> write_;
  bool connecting_ = false;
  bool connected_ = false;
  bool closeSeen_ = false;
  bool readWanted_ = false;
  bool writeWanted_ = false;
  bool paused_ = false;
};

}  // namespace tavimo
