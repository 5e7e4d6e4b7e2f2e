#include "platform/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace tavimo {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
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

// The names of the temporary files that exist now, in fixed slots a signal handler can walk
// without locks or allocation. A slot's state is its kind (free, busy: being filled or being
// removed by the handler, live) and a generation, so that an owner whose file was removed for it
// never frees the slot again once a later file took it.
enum : std::uint64_t { kFree, kBusy, kLive };
struct PendingSlot {
  std::atomic<std::uint64_t> state{kFree};
  char path[PATH_MAX];
};
constexpr int kSlots = 256;
PendingSlot gPending[kSlots];

// A ticket for the slot (generation * kSlots + index), or -1: a file beyond the slots is still
// removed by its owner on every path but a signal's.
std::int64_t Enlist(const std::string& path) {
  static std::once_flag atExit;
  std::call_once(atExit, [] { std::atexit(RemovePendingFiles); });
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    std::uint64_t seen = gPending[i].state.load();
    if ((seen & 3) != kFree || !gPending[i].state.compare_exchange_strong(seen, (seen & ~3ULL) | kBusy))
      continue;
    std::memcpy(gPending[i].path, path.c_str(), path.size() + 1);
    const std::uint64_t generation = (seen >> 2) + 1;
    gPending[i].state.store(generation << 2 | kLive, std::memory_order_release);
    return static_cast<std::int64_t>(generation * kSlots + static_cast<std::uint64_t>(i));
  }
  return -1;
}

void Delist(std::int64_t ticket) {
  if (ticket < 0) return;
  const auto generation = static_cast<std::uint64_t>(ticket) / kSlots;
  std::uint64_t expected = generation << 2 | kLive;
  // Failing means the file was removed for its owner (a signal, the exit): the slot is not ours.
  gPending[ticket % kSlots].state.compare_exchange_strong(expected, generation << 2 | kFree);
}

constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

void RemovePendingFiles() {
  for (PendingSlot& slot : gPending) {
    std::uint64_t seen = slot.state.load();
    if ((seen & 3) != kLive || !slot.state.compare_exchange_strong(seen, (seen & ~3ULL) | kBusy)) continue;
    ::unlink(slot.path);
    slot.state.store((seen & ~3ULL) | kFree);
  }
}

namespace {

void RemoveAndEnd(int signo) {
  RemovePendingFiles();
  std::signal(signo, SIG_DFL);
  ::raise(signo);
}

}  // namespace

void RemovePendingFilesOnTermination() {
  struct sigaction sa {};
  sa.sa_handler = RemoveAndEnd;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

namespace {

// Makes a new file under a fresh hidden name beside target ("<folder>/.<name>.XXXXXX.part"),
// listed as pending: `make` creates it and returns false (errno set) when it cannot; EEXIST
// tries another name. The name is listed before the file exists, so that a signal on another
// thread between the two steps cannot leave it (a random name already taken is one in 62^6).
bool MakeBeside(const std::string& target, const std::function<bool(const std::string&)>& make,
                std::string& name, std::int64_t& slot) {
  const auto slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Hidden, and short enough for any name the target may have.
  const std::string base = target.substr(dir.size()).substr(0, 200);
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return false;
    std::string tmp = dir + "." + base + ".";
    for (unsigned char r : random) tmp += kLetters[r % (sizeof kLetters - 1)];
    tmp += ".part";
    const std::int64_t listed = Enlist(tmp);
    if (make(tmp)) {
      name = std::move(tmp);
      slot = listed;
      return true;
    }
    const int why = errno;
    Delist(listed);
    errno = why;
    if (why != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

}  // namespace

TPendingFile::TPendingFile(std::string target, bool privateFile)
    : target_(std::move(target)), private_(privateFile) {
  int fd = -1;
  // New, never through a link, readable by nobody else while it is written.
  const auto create = [&fd](const std::string& name) {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd >= 0;
  };
  if (MakeBeside(target_, create, temp_, slot_)) fd_ = fd;
}

bool LinkFileAs(const std::string& existing, const std::string& target) {
  // Already a name of that file: a rename between two names of one file does nothing, which
  // would leave the temporary name behind.
  struct stat a {
  }, b{};
  if (::stat(existing.c_str(), &a) == 0 && ::lstat(target.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
      a.st_ino == b.st_ino) {
    return true;
  }
  std::string temp;
  std::int64_t slot = -1;
  const auto link = [&existing](const std::string& name) {
    return ::link(existing.c_str(), name.c_str()) == 0;
  };
  if (!MakeBeside(target, link, temp, slot)) return false;
  const bool ok = ::rename(temp.c_str(), target.c_str()) == 0;
  const int why = errno;
  if (!ok) ::unlink(temp.c_str());
  Delist(slot);
  errno = why;
  return ok;
}

TPendingFile::~TPendingFile() { Discard(); }

void TPendingFile::Discard() {
  if (fd_ < 0) return;
  const int saved = errno;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  Delist(slot_);
  slot_ = -1;
  buffer_.clear();
  errno = saved;
}

bool TPendingFile::flush() {
  if (buffer_.empty()) return true;
  const bool ok = WriteAll(fd_, buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

bool TPendingFile::Write(const char* data, std::size_t n) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  written_ += n;
  if (buffer_.size() + n <= kBufferBytes) {
    buffer_.append(data, n);
    return true;
  }
  return flush() && (n >= kBufferBytes ? WriteAll(fd_, data, n) : (buffer_.append(data, n), true));
}

bool TPendingFile::Commit(bool sync, const std::function<void()>& beforeRename) {
  if (fd_ < 0) {
    errno = ENOENT;
    return false;
  }
  struct stat st {};
  const mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777)
                      : private_                        ? mode_t{0600}
                                                        : (0666 & ~CurrentUmask());
  bool ok = flush() && ::fchmod(fd_, mode) == 0 && (!sync || ::fsync(fd_) == 0);
  const int err = errno;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok && beforeRename) {
    try {
      beforeRename();
    } catch (...) {
      ::unlink(temp_.c_str());
      Delist(slot_);
      slot_ = -1;
      throw;
    }
  }
  if (ok) ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    const int why = errno ? errno : err;
    ::unlink(temp_.c_str());
    Delist(slot_);
    slot_ = -1;
    errno = why;
    return false;
  }
  Delist(slot_);
  slot_ = -1;
  if (sync) SyncFolderOf(target_);
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const std::function<void()>& beforeRename) {
  TPendingFile pending(path, /*privateFile=*/true);
  return pending.Ok() && pending.Write(bytes.data(), bytes.size()) && pending.Commit(true, beforeRename);
}

bool SaveStreamAs(const std::string& target,
                  const std::function<bool(const ByteSink& sink, std::string& error)>& produce,
                  std::string& error, std::uint64_t* written) {
  TPendingFile pending(target);
  if (!pending.Ok()) {
    error = "cannot create a file beside " + target + ": " + std::strerror(errno);
    return false;
  }
  int writeError = 0;
  const bool made = produce(
      [&pending, &writeError](const char* data, std::size_t n) {
        if (pending.Write(data, n)) return true;
        writeError = errno;
        return false;
      },
      error);
  if (writeError) {
    error = "cannot write " + target + ": " + std::strerror(writeError);
    return false;
  }
  if (!made) return false;
  const std::uint64_t count = pending.Written();
  if (!pending.Commit()) {
    error = "cannot write " + target + ": " + std::strerror(errno);
    return false;
  }
  if (written) *written = count;
  return true;
}

}  // namespace tavimo
