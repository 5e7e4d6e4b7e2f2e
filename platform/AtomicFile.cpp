#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavimo {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::function<void()>& beforeRename) {
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  // Keep the mode an existing file had; a new file is private to the user like mkstemp's.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok) {
    try {
      if (beforeRename) beforeRename();
    } catch (...) {
      ::unlink(tmp.c_str());
      throw;
    }
    ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  }
  if (!ok) {
    const int err = errno ? errno : savedErrno;
    ::unlink(tmp.c_str());
    errno = err;
    return false;
  }
  SyncFolderOf(path);
  return true;
}

namespace {

// The process's umask without changing it (umask(2) would race with other threads).
mode_t CurrentUmask() {
  static const mode_t mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Umask:", 0) == 0)
        return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return static_cast<mode_t>(022);
  }();
  return mask;
}

}  // namespace

TPendingFile::TPendingFile(std::string target) : target_(std::move(target)) {
  const auto slash = target_.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  // Hidden, and short enough for any name the target may have.
  const std::string base = target_.substr(dir.size()).substr(0, 200);
  std::string tmp = dir + "." + base + ".XXXXXX.part";
  const int fd = ::mkstemps(tmp.data(), 5);
  if (fd < 0) return;
  ::close(fd);
  temp_ = std::move(tmp);
}

TPendingFile::~TPendingFile() { Discard(); }

void TPendingFile::Discard() {
  if (temp_.empty()) return;
  const int saved = errno;
  ::unlink(temp_.c_str());
  temp_.clear();
  errno = saved;
}

bool TPendingFile::Commit() {
  if (temp_.empty()) {
    errno = ENOENT;
    return false;
  }
  struct stat st {};
  const mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
  ::chmod(temp_.c_str(), mode);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

bool SaveStreamAs(const std::string& target,
                  const std::function<bool(const ByteSink& sink, std::string& error)>& produce,
                  std::string& error, std::uint64_t* written) {
  TPendingFile pending(target);
  if (!pending.Ok()) {
    error = "cannot create a file beside " + target + ": " + std::strerror(errno);
    return false;
  }
  std::FILE* out = std::fopen(pending.TempName().c_str(), "wb");
  if (!out) {
    error = "cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  std::uint64_t count = 0;
  const bool made = produce(
      [out, &count](const char* data, std::size_t n) {
        count += n;
        return std::fwrite(data, 1, n, out) == n;
      },
      error);
  const bool closed = std::fclose(out) == 0;
  if (!made) return false;
  if (!closed || !pending.Commit()) {
    error = "cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  if (written) *written = count;
  return true;
}

}  // namespace tavimo
