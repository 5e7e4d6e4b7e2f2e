#include "swf/SwfBytes.h"

namespace tavimo {

bool SwfBytes::U8(std::uint32_t& value) {
  AlignBits();
  if (Remaining() < 1) return false;
  value = static_cast<unsigned char>(data_[pos_++]);
  return true;
}

bool SwfBytes::U16(std::uint32_t& value) {
  AlignBits();
  if (Remaining() < 2) return false;
  value = static_cast<unsigned char>(data_[pos_]) | static_cast<unsigned char>(data_[pos_ + 1]) << 8;
  pos_ += 2;
  return true;
}

bool SwfBytes::U32(std::uint32_t& value) {
  AlignBits();
  if (Remaining() < 4) return false;
  value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data_[pos_ + i]);
  pos_ += 4;
  return true;
}

bool SwfBytes::Skip(std::size_t count) {
  AlignBits();
  if (Remaining() < count) return false;
  pos_ += count;
  return true;
}

bool SwfBytes::Take(std::size_t count, std::string_view& out) {
  AlignBits();
  if (Remaining() < count) return false;
  out = data_.substr(pos_, count);
  pos_ += count;
  return true;
}

bool SwfBytes::String(std::string_view& out) {
  AlignBits();
  const std::size_t end = data_.find('\0', pos_);
  if (end == std::string_view::npos) return false;
  out = data_.substr(pos_, end - pos_);
  pos_ = end + 1;
  return true;
}

bool SwfBytes::VarU32(std::uint32_t& value) {
  AlignBits();
  value = 0;
  for (int i = 0; i < 5; ++i) {
    std::uint32_t byte = 0;
    if (!U8(byte)) return false;
    value |= (byte & 0x7f) << (7 * i);
    if (!(byte & 0x80)) return true;
  }
  return true;
}

bool SwfBytes::Bits(int count, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (bitsLeft_ == 0) {
      if (Remaining() < 1) return false;
      bitByte_ = static_cast<unsigned char>(data_[pos_++]);
      bitsLeft_ = 8;
    }
    --bitsLeft_;
    value = value << 1 | ((bitByte_ >> bitsLeft_) & 1);
  }
  return true;
}

}  // namespace tavimo
