#pragma once
// Small Flash movies written byte by byte: a background colour and one filled rectangle per
// frame (one colour gives a still movie, more an animation).
#include <cstdint>
#include <string>
#include <vector>

namespace tavimo::test {

struct Rgb {
  std::uint8_t r, g, b;
};

// Bits most significant first; whole bytes and 16/32-bit values little-endian, byte-aligned.
class SwfWriter {
 public:
  SwfWriter& Bits(std::int64_t value, int count) {
    for (int i = count - 1; i >= 0; --i, used_ = (used_ + 1) % 8) {
      if (used_ == 0) out_.push_back('\0');
      if ((value >> i) & 1) out_.back() = char(out_.back() | (0x80 >> used_));
    }
    return *this;
  }
  SwfWriter& Bytes(std::initializer_list<int> bytes) {
    used_ = 0;
    for (int b : bytes) out_.push_back(char(b));
    return *this;
  }
  SwfWriter& U16(int v) { return Bytes({v & 0xff, (v >> 8) & 0xff}); }
  SwfWriter& Rect(int x0, int x1, int y0, int y1) {  // twips, 16-bit fields
    used_ = 0;
    Bits(16, 5).Bits(x0, 16).Bits(x1, 16).Bits(y0, 16).Bits(y1, 16);
    used_ = 0;
    return *this;
  }
  std::string Take() {
    used_ = 0;
    return std::move(out_);
  }

 private:
  std::string out_;
  int used_ = 0;
};

inline std::string Tag(int code, const std::string& body) {  // short form: bodies < 63 bytes
  return SwfWriter().U16((code << 6) | int(body.size())).Take() + body;
}

struct Box {
  int x, y, w, h;
  Rgb colour;
};

// DefineShape `id`: one filled rectangle.
inline std::string RectangleShape(int id, const Box& b) {
  const int t = 20;  // twips per pixel
  SwfWriter s;
  s.U16(id).Rect(b.x * t, (b.x + b.w) * t, b.y * t, (b.y + b.h) * t);
  s.Bytes({1, 0x00, b.colour.r, b.colour.g, b.colour.b, 0, 0x10});                 // one solid fill
  s.Bits(0b000011, 6).Bits(16, 5).Bits(b.x * t, 16).Bits(b.y * t, 16).Bits(1, 1);  // move, fill 1
  for (auto [vertical, delta] : {std::pair{0, b.w}, {1, b.h}, {0, -b.w}, {1, -b.h}}) {
    s.Bits(0b11, 2).Bits(14, 4).Bits(0, 1).Bits(vertical, 1).Bits(delta * t, 16);
  }
  return Tag(2, s.Bits(0, 6).Take());
}

inline std::string SwfMovie(int width, int height, int frames, int framesPerSecond, const std::string& tags) {
  const int t = 20;
  std::string body =
      SwfWriter().Rect(0, width * t, 0, height * t).U16(framesPerSecond << 8).U16(frames).Take() + tags +
      Tag(0, {});
  const std::size_t size = 8 + body.size();
  return SwfWriter()
             .Bytes(
                 {'F', 'W', 'S', 10, int(size & 0xff), int((size >> 8) & 0xff), int((size >> 16) & 0xff), 0})
             .Take() +
         body;
}

// One frame: the background and every box, each at its own depth.
inline std::string MakeStillSwf(int width, int height, Rgb background, const std::vector<Box>& boxes) {
  std::string tags = Tag(9, {char(background.r), char(background.g), char(background.b)});
  for (std::size_t i = 0; i < boxes.size(); ++i) tags += RectangleShape(int(i + 1), boxes[i]);
  for (std::size_t i = 0; i < boxes.size(); ++i) {  // PlaceObject2 of shape i+1 at depth i+1
    tags += Tag(26, SwfWriter().Bytes({0x02}).U16(int(i + 1)).U16(int(i + 1)).Take());
  }
  return SwfMovie(width, height, 1, 12, tags + Tag(1, {}));
}

inline std::string MakeSwf(int width, int height, Rgb background, int x, int y, int w, int h,
                           const std::vector<Rgb>& colours, int framesPerSecond = 12) {
  std::string tags = Tag(9, {char(background.r), char(background.g), char(background.b)});
  for (std::size_t i = 0; i < colours.size(); ++i)
    tags += RectangleShape(int(i + 1), {x, y, w, h, colours[i]});
  for (std::size_t i = 0; i < colours.size(); ++i) {  // PlaceObject2 at depth 1, then ShowFrame
    tags += Tag(26, SwfWriter().Bytes({i > 0 ? 0x03 : 0x02}).U16(1).U16(int(i + 1)).Take());
    tags += Tag(1, {});
  }
  return SwfMovie(width, height, int(colours.size()), framesPerSecond, tags);
}

}  // namespace tavimo::test
