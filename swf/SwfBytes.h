#pragma once
// A bounded cursor over the bytes of a movie: little-endian integers, zero-terminated strings,
// the variable-length integers of ActionScript 3 and the bit fields of rectangles and matrices.
// Every read checks the end first and fails (returns false) instead of reading past it.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavimo {

class SwfBytes {
 public:
  explicit SwfBytes(std::string_view data) : data_(data) {}

  std::size_t Offset() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::string_view Rest() const { return data_.substr(pos_); }

  bool U8(std::uint32_t& value);
  bool U16(std::uint32_t& value);
  bool U32(std::uint32_t& value);
  bool Skip(std::size_t count);
  bool Take(std::size_t count, std::string_view& out);
  // A string up to its zero byte (the zero is consumed, not returned).
  bool String(std::string_view& out);
  // ActionScript 3's u30/u32/s32: seven bits a byte, at most five bytes.
  bool VarU32(std::uint32_t& value);

  // Bit fields, most significant bit first; byte reads start at the next whole byte.
  bool Bits(int count, std::uint32_t& value);
  void AlignBits() { bitsLeft_ = 0; }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
  std::uint32_t bitByte_ = 0;
  int bitsLeft_ = 0;
};

}  // namespace tavimo
