#pragma once
// Writes small Flash movies byte by byte for the player's tests and benchmarks: a background
// colour and one filled rectangle per frame.
#include <cstdint>
#include <string>
#include <vector>

namespace tavimo::test {

struct Rgb {
  std::uint8_t r, g, b;
};

class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used_ == 0) bytes_.push_back('\0');
      if ((value >> i) & 1u) bytes_.back() = char(bytes_.back() | (0x80 >> used_));
      used_ = (used_ + 1) % 8;
    }
  }
  void Signed(std::int32_t value, int count) { Bits(std::uint32_t(value) & ((1u << count) - 1), count); }
  void Align() { used_ = 0; }
  void Byte(std::uint8_t value) { Align(); bytes_.push_back(char(value)); }
  void U16(std::uint16_t value) { Byte(value & 0xff); Byte(value >> 8); }
  void U32(std::uint32_t value) { U16(value & 0xffff); U16(value >> 16); }
  // A RECT in twips with 16-bit fields (enough for a few hundred pixels).
  void Rect(std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1) {
    Align();
    Bits(16, 5);
    for (std::int32_t v : {x0, x1, y0, y1}) Signed(v, 16);
    Align();
  }
  std::string Take() { Align(); std::string out; out.swap(bytes_); return out; }

 private:
  std::string bytes_;
  int used_ = 0;
};

inline std::string Tag(int code, const std::string& body) {
  BitWriter w;
  if (body.size() < 63) {
    w.U16(std::uint16_t((code << 6) | int(body.size())));
  } else {
    w.U16(std::uint16_t((code << 6) | 0x3f));
    w.U32(std::uint32_t(body.size()));
  }
  return w.Take() + body;
}

// DefineShape: a rectangle filled with one solid colour, in pixels.
inline std::string DefineRectangle(std::uint16_t id, int x, int y, int w, int h, Rgb colour) {
  const int tw = 20;
  BitWriter s;
  s.U16(id);
  s.Rect(x * tw, (x + w) * tw, y * tw, (y + h) * tw);
  s.Byte(1);  // one fill style: solid
  s.Byte(0x00);
  s.Byte(colour.r); s.Byte(colour.g); s.Byte(colour.b);
  s.Byte(0);     // no line styles
  s.Byte(0x10);  // 1 fill bit, 0 line bits
  // Style change: move to (x, y), fill style 0 = 1.
  s.Bits(0, 1); s.Bits(0, 1); s.Bits(0, 1); s.Bits(0, 1); s.Bits(1, 1); s.Bits(1, 1);
  s.Bits(16, 5); s.Signed(x * tw, 16); s.Signed(y * tw, 16);
  s.Bits(1, 1);
  auto edge = [&s](bool vertical, int delta) {  // straight, 16-bit deltas
    s.Bits(1, 1); s.Bits(1, 1); s.Bits(14, 4); s.Bits(0, 1); s.Bits(vertical ? 1 : 0, 1);
    s.Signed(delta, 16);
  };
  edge(false, w * tw);
  edge(true, h * tw);
  edge(false, -w * tw);
  edge(true, -h * tw);
  s.Bits(0, 6);  // end of shape
  return Tag(2, s.Take());
}

inline std::string PlaceObject(std::uint16_t id, bool replace) {
  BitWriter p;
  p.Byte(replace ? 0x03 : 0x02);  // has character (+ move when replacing)
  p.U16(1);                       // depth
  p.U16(id);
  return Tag(26, p.Take());
}

// A movie of `width` x `height` pixels on `background`; frame i shows a rectangle of
// colours[i] at (x, y, w, h). One colour gives a still movie, more give an animation.
inline std::string MakeSwf(int width, int height, Rgb background, int x, int y, int w, int h,
                           const std::vector<Rgb>& colours, int framesPerSecond = 12) {
  BitWriter head;
  head.Rect(0, width * 20, 0, height * 20);
  head.U16(std::uint16_t(framesPerSecond << 8));
  head.U16(std::uint16_t(colours.size()));
  std::string body = head.Take();
  body += Tag(9, std::string{char(background.r), char(background.g), char(background.b)});
  for (std::size_t i = 0; i < colours.size(); ++i) {
    body += DefineRectangle(std::uint16_t(i + 1), x, y, w, h, colours[i]);
  }
  for (std::size_t i = 0; i < colours.size(); ++i) {
    body += PlaceObject(std::uint16_t(i + 1), i > 0);
    body += Tag(1, {});
  }
  body += Tag(0, {});
  BitWriter file;
  file.Byte('F'); file.Byte('W'); file.Byte('S'); file.Byte(10);
  file.U32(std::uint32_t(8 + body.size()));
  return file.Take() + body;
}

}  // namespace tavimo::test
