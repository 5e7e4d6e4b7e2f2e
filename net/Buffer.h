#pragma once
// One block of the socket's send queue: fixed capacity, a write count and a read count.
// When everything written has been read, both counts return to 0 so the block is reused.
#include <cstdint>
#include <memory>

namespace tavimo {

class TBuffer {
 public:
  static constexpr int kDefaultSize = 1514;

  explicit TBuffer(int size = kDefaultSize);

  int Size() const { return size_; }
  void SetSize(int size);  // keeps the written bytes that still fit
  // Copies as many bytes as fit; returns how many were taken (0 when full).
  int Write(const void* data, int len);
  // The unread bytes.
  const char* Peek(int& len) const;
  // Advances the read count by at most the unread count; returns the amount removed.
  int Remove(int len);
  int Unread() const { return wr_ - rd_; }

 private:
  std::unique_ptr<char[]> buf_;
  int size_;
  int wr_ = 0;
  int rd_ = 0;
};

}  // namespace tavimo
