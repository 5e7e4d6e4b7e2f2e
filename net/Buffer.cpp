#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

namespace tavimo {

TBuffer::TBuffer(int size) : size_(size > 0 ? size : kDefaultSize) {
  buf_ = std::make_unique<char[]>(static_cast<size_t>(size_));
}

void TBuffer::SetSize(int size) {
  const int newSize = size > 0 ? size : kDefaultSize;
  auto fresh = std::make_unique<char[]>(static_cast<size_t>(newSize));
  wr_ = std::min(wr_, newSize);
  rd_ = std::min(rd_, wr_);
  std::memcpy(fresh.get(), buf_.get(), static_cast<size_t>(wr_));
  buf_ = std::move(fresh);
  size_ = newSize;
}

int TBuffer::Write(const void* data, int len) {
  const int n = std::max(0, std::min(len, size_ - wr_));
  if (n > 0) std::memcpy(buf_.get() + wr_, data, static_cast<size_t>(n));
  wr_ += n;
  return n;
}

const char* TBuffer::Peek(int& len) const {
  len = wr_ - rd_;
  return buf_.get() + rd_;
}

int TBuffer::Remove(int len) {
  const int n = std::max(0, std::min(len, wr_ - rd_));
  rd_ += n;
  if (rd_ == wr_) rd_ = wr_ = 0;
  return n;
}

}  // namespace tavimo
