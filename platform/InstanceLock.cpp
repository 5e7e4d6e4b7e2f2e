#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tavimo {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

InstanceLock::Outcome InstanceLock::Acquire(const std::string& path) {
  // O_CLOEXEC: a child process (a browser opened from the help button) must not keep the
  // lock alive after we are gone.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Outcome::Failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Outcome::AlreadyRunning : Outcome::Failed;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return Outcome::Acquired;
}

}  // namespace tavimo
