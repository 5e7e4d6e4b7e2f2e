#include "base/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavimo {

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = std::max<std::int64_t>(0, std::min(count, Size() - pos_));
  if (n > 0) std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(pos_ + count);
  if (end > data_.size()) {
    if (end > data_.capacity()) data_.reserve(std::max(end, data_.capacity() * 2));
    data_.resize(end);
  }
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t base = origin == SeekOrigin::Beginning ? 0
                            : origin == SeekOrigin::Current ? pos_
                                                            : Size();
  pos_ = std::max<std::int64_t>(0, base + offset);
  return pos_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<size_t>(std::max<std::int64_t>(0, size)));
  pos_ = std::min(pos_, Size());
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}

std::int64_t TNullStream::Write(const void*, std::int64_t count) {
  if (count <= 0) return 0;
  pos_ += count;
  size_ = std::max(size_, pos_);
  return count;
}

std::int64_t TNullStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const std::int64_t base = origin == SeekOrigin::Beginning ? 0
                            : origin == SeekOrigin::Current ? pos_
                                                            : size_;
  pos_ = std::max<std::int64_t>(0, base + offset);
  return pos_;
}

void TNullStream::SetSize(std::int64_t size) {
  size_ = std::max<std::int64_t>(0, size);
  pos_ = std::min(pos_, size_);
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::OpenRead: flags |= O_RDONLY; break;
    case Mode::OpenReadWrite: flags |= O_RDWR; break;
  }
  fd_ = ::open(fileName.c_str(), flags, 0644);
  if (fd_ < 0) {
    throw EStreamError((mode == Mode::Create ? "Cannot create file " : "Cannot open file ") + fileName);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do n = ::read(fd_, buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  const char* p = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Beginning ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
  const off_t r = ::lseek(fd_, offset, whence);
  return r < 0 ? 0 : r;
}

std::int64_t TFileStream::Size() {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
}

void TFileStream::SetSize(std::int64_t size) {
  if (::ftruncate(fd_, size) != 0) throw EStreamError("Stream write error");
}

}  // namespace tavimo
