#include "platform/SocketNotices.h"

#include "compat/WinsockErrors.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>

namespace tavimo {

SocketNotices::SocketNotices(int fd, Notice notice) : fd_(fd), notice_(std::move(notice)) {
  read_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  write_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
  read_->setEnabled(false);
  write_->setEnabled(false);
  QObject::connect(read_.get(), &QSocketNotifier::activated, this, [this] { readable(); });
  QObject::connect(write_.get(), &QSocketNotifier::activated, this, [this] { writable(); });
}

SocketNotices::~SocketNotices() {
  read_->setEnabled(false);
  write_->setEnabled(false);
}

void SocketNotices::WatchConnect() {
  connecting_ = true;
  writeWanted_ = true;
  if (!paused_) write_->setEnabled(true);
}

void SocketNotices::WatchRead() {
  if (!connected_ || closeSeen_ || readWanted_) return;
  readWanted_ = true;
  if (!paused_ && !read_->isEnabled()) read_->setEnabled(true);
}

void SocketNotices::WatchWrite() {
  if (closeSeen_) return;
  writeWanted_ = true;
  if (!paused_) write_->setEnabled(true);
}

void SocketNotices::Pause(bool paused) {
  paused_ = paused;
  read_->setEnabled(!paused && readWanted_);
  write_->setEnabled(!paused && writeWanted_);
}

void SocketNotices::writable() {
  write_->setEnabled(false);
  writeWanted_ = false;
  const QPointer<SocketNotices> self(this);
  if (connecting_) {
    connecting_ = false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err != 0) {
      notice_(FD_CONNECT, WinsockFromErrno(err));
      return;
    }
    connected_ = true;
    readWanted_ = true;
    read_->setEnabled(!paused_);
    notice_(FD_CONNECT, 0);
    if (!self) return;
  }
  notice_(FD_WRITE, 0);
}

void SocketNotices::readable() {
  // Like Winsock, no further FD_READ until the reader has called recv again. The notifier stays
  // on while the reader keeps reading (switching it costs more than the read itself).
  if (!readWanted_) {
    read_->setEnabled(false);
    return;
  }
  readWanted_ = false;
  char probe;
  const ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) {
    notice_(FD_READ, 0);
    return;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    readWanted_ = true;
    return;
  }
  read_->setEnabled(false);
  closeSeen_ = true;
  writeWanted_ = false;
  write_->setEnabled(false);
  notice_(FD_CLOSE, n == 0 ? 0 : WinsockFromErrno(errno));
}

}  // namespace tavimo
