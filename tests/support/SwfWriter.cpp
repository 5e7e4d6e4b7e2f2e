#include "tests/support/SwfWriter.h"

#include <algorithm>
#include <lzma.h>
#include <stdexcept>
#include <zlib.h>

namespace tavimo::test {
namespace {

std::string U8(std::uint32_t value) { return std::string(1, static_cast<char>(value & 0xff)); }

std::string U30(std::uint32_t value) {
  std::string out;
  do {
    std::uint8_t byte = value & 0x7f;
    value >>= 7;
    if (value) byte |= 0x80;
    out += static_cast<char>(byte);
  } while (value);
  return out;
}

// Bit fields, most significant bit first.
class Bits {
 public:
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<std::uint8_t>(byte_ << 1 | ((value >> i) & 1));
      if (++used_ == 8) Flush();
    }
  }
  std::string Bytes() {
    if (used_) {
      byte_ = static_cast<std::uint8_t>(byte_ << (8 - used_));
      Flush();
    }
    return out_;
  }

 private:
  void Flush() {
    out_ += static_cast<char>(byte_);
    byte_ = 0;
    used_ = 0;
  }
  std::string out_;
  std::uint8_t byte_ = 0;
  int used_ = 0;
};

std::string Zlib(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                data.size(), 6) != Z_OK)
    throw std::runtime_error("zlib compression failed");
  out.resize(size);
  return out;
}

// LZMA as movies hold it: the five property bytes, then the raw stream (which ends with the end
// marker, as .lzma streams of unknown size do).
std::string Lzma(const std::string& data, std::string& properties) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = 1 << 16;
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&z, &options) != LZMA_OK) throw std::runtime_error("lzma encoder");
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  z.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
  z.avail_in = data.size();
  z.next_out = reinterpret_cast<std::uint8_t*>(out.data());
  z.avail_out = out.size();
  const lzma_ret rc = lzma_code(&z, LZMA_FINISH);
  out.resize(out.size() - z.avail_out);
  lzma_end(&z);
  if (rc != LZMA_STREAM_END || out.size() < 13) throw std::runtime_error("lzma compression failed");
  properties = out.substr(0, 5);
  return out.substr(13);  // without the .lzma header's uncompressed size
}

}  // namespace

std::string SwfU16(std::uint32_t value) { return U8(value) + U8(value >> 8); }
std::string SwfU32(std::uint32_t value) { return SwfU16(value) + SwfU16(value >> 16); }
std::string SwfString(std::string_view text) { return std::string(text) + std::string(1, '\0'); }

std::string SwfTag(int code, std::string_view body, bool longHeader) {
  const auto c = static_cast<std::uint32_t>(code);
  if (body.size() < 63 && !longHeader)
    return SwfU16(c << 6 | static_cast<std::uint32_t>(body.size())) + std::string(body);
  return SwfU16(c << 6 | 0x3f) + SwfU32(static_cast<std::uint32_t>(body.size())) + std::string(body);
}

std::string SwfEnd() { return SwfTag(0, {}); }

SwfActions& SwfActions::Action(std::uint8_t code, std::string_view payload) {
  bytes_ += static_cast<char>(code);
  if (code >= 0x80) bytes_ += SwfU16(static_cast<std::uint32_t>(payload.size())) + std::string(payload);
  return *this;
}

SwfActions& SwfActions::ConstantPool(const std::vector<std::string>& strings) {
  std::string payload = SwfU16(static_cast<std::uint32_t>(strings.size()));
  for (const std::string& s : strings) payload += SwfString(s);
  return Action(0x88, payload);
}

SwfActions& SwfActions::PushString(std::string_view text) { return Action(0x96, U8(0) + SwfString(text)); }

SwfActions& SwfActions::PushConstant(std::uint32_t index) {
  return Action(0x96, index < 256 ? U8(8) + U8(index) : U8(9) + SwfU16(index));
}

SwfActions& SwfActions::PushOtherTypes() {
  const std::string payload = U8(1) + SwfU32(0x3f800000) + U8(2) + U8(3) + U8(4) + U8(1) + U8(5) + U8(1) +
                              U8(6) + std::string(8, '\x01') + U8(7) + SwfU32(42);
  return Action(0x96, payload);
}

SwfActions& SwfActions::GetUrl(std::string_view url, std::string_view target) {
  return Action(0x83, SwfString(url) + SwfString(target));
}

SwfActions& SwfActions::GetUrl2(std::uint8_t flags) { return Action(0x9a, U8(flags)); }

std::string SwfAbc(const std::vector<std::string>& strings) {
  std::string abc = SwfU16(16) + SwfU16(46);
  abc += U30(3) + U30(300) + U30(0xfffffff0);  // ints: two after the unwritten first
  abc += U30(2) + U30(1u << 31);               // uints
  abc += U30(2) + std::string(8, '\x40');      // doubles
  abc += U30(static_cast<std::uint32_t>(strings.size() + 1));
  for (const std::string& s : strings) abc += U30(static_cast<std::uint32_t>(s.size())) + s;
  abc += U30(1) + U30(1) + U30(1);  // namespaces, namespace sets, multinames: none
  return abc;
}

std::string SwfDoAction(const SwfActions& actions) { return SwfTag(12, actions.Bytes()); }

std::string SwfDoInitAction(int spriteId, const SwfActions& actions) {
  return SwfTag(59, SwfU16(static_cast<std::uint32_t>(spriteId)) + actions.Bytes());
}

std::string SwfDoAbc(const std::vector<std::string>& strings) {
  return SwfTag(82, SwfU32(1) + SwfString("frame1") + SwfAbc(strings));
}

std::string SwfDoAbcRaw(const std::vector<std::string>& strings) { return SwfTag(72, SwfAbc(strings)); }

std::string SwfImportAssets(std::string_view url, bool two) {
  std::string body = SwfString(url);
  if (two) body += U8(1) + U8(0);
  body += SwfU16(1) + SwfU16(1) + SwfString("Asset");
  return SwfTag(two ? 71 : 57, body);
}

std::string SwfPlaceObject(bool three, int version, const std::vector<SwfActions>& clipActions,
                           bool keyPress) {
  // Clip actions, character, matrix, colour transform, name; for 3 also class name and filters.
  std::string body = U8(0x80 | 0x20 | 0x08 | 0x04 | 0x02);
  if (three) body += U8(0x08 | 0x01 | 0x02);  // class name, filter list, blend mode
  body += SwfU16(1);                          // depth
  if (three) body += SwfString("com.example.Clip");
  body += SwfU16(2);  // character
  Bits matrix;
  matrix.Put(1, 1), matrix.Put(18, 5), matrix.Put(65536, 18), matrix.Put(65536, 18);  // scale
  matrix.Put(0, 1);                                                                   // no rotation
  matrix.Put(11, 5), matrix.Put(200, 11), matrix.Put(0x7ff, 11);                      // translation
  body += matrix.Bytes();
  Bits color;
  color.Put(1, 1), color.Put(1, 1), color.Put(9, 4);
  for (int i = 0; i < 8; ++i) color.Put(255, 9);
  body += color.Bytes();
  body += SwfString("clip.swf");  // a name: not code, so no reference
  if (three) {
    // Every fixed-size filter, then a gradient glow and a convolution.
    body += U8(7) + U8(0) + std::string(23, '\0') + U8(1) + std::string(9, '\0') + U8(2) +
            std::string(15, '\0') + U8(3) + std::string(27, '\0') + U8(6) + std::string(80, '\0');
    body += U8(4) + U8(2) + SwfU32(0xff0000ff) + SwfU32(0xffffffff) + U8(0) + U8(255) +
            std::string(19, '\0');  // gradient glow
    body += U8(5) + U8(2) + U8(2) + std::string(8, '\0') + std::string(16, '\0') + std::string(5, '\0');
    body += U8(1);  // blend mode
  }
  const bool wide = version > 5;
  auto flags = [&](std::uint32_t f) { return wide ? SwfU32(f) : SwfU16(f); };
  body += SwfU16(0) + flags(0x0001 | (keyPress ? 0x00020000 : 0));
  for (std::size_t i = 0; i < clipActions.size(); ++i) {
    const bool key = keyPress && i == 0 && wide;
    const std::string actions = (key ? U8(13) : std::string()) + clipActions[i].Bytes();
    body += flags(key ? 0x00020000 : 0x0001) + SwfU32(static_cast<std::uint32_t>(actions.size())) + actions;
  }
  body += flags(0);
  return SwfTag(three ? 70 : 26, body);
}

std::string SwfButton(bool two, const std::vector<SwfActions>& actions) {
  // One record shown in every state, moved by a matrix; DefineButton2's also has a colour
  // transform. A record never holds code: its bytes here spell a decoy.
  Bits matrix;
  matrix.Put(0, 1), matrix.Put(0, 1), matrix.Put(12, 5), matrix.Put(100, 12), matrix.Put(200, 12);
  std::string record = U8(0x0f) + SwfU16(1) + SwfU16(1) + matrix.Bytes();
  if (two) record += U8(0);  // colour transform without terms
  const std::string records = record + U8(0);
  if (!two) return SwfTag(7, SwfU16(5) + records + (actions.empty() ? SwfActions() : actions[0]).Bytes());
  std::string conditions;
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const std::string bytes = actions[i].Bytes();
    const bool last = i + 1 == actions.size();
    conditions += SwfU16(last ? 0 : static_cast<std::uint32_t>(bytes.size() + 4)) + SwfU16(0x0008) + bytes;
  }
  const std::uint32_t offset = actions.empty() ? 0 : static_cast<std::uint32_t>(records.size() + 2);
  return SwfTag(34, SwfU16(6) + U8(0) + SwfU16(offset) + records + conditions);
}

std::string SwfSprite(int id, const std::vector<std::string>& tags) {
  std::string body = SwfU16(static_cast<std::uint32_t>(id)) + SwfU16(1);
  for (const std::string& t : tags) body += t;
  return SwfTag(39, body + SwfEnd());
}

std::string SwfBinaryData(int id, std::string_view data) {
  return SwfTag(87, SwfU16(static_cast<std::uint32_t>(id)) + SwfU32(0) + std::string(data), true);
}

std::string SwfMovieDeclaring(char compression, int version, const std::vector<std::string>& tags,
                              std::uint32_t fileLength) {
  Bits rect;
  rect.Put(15, 5), rect.Put(0, 15), rect.Put(11000, 15), rect.Put(0, 15), rect.Put(8000, 15);
  std::string body = rect.Bytes() + SwfU16(24 << 8) + SwfU16(1);
  for (const std::string& t : tags) body += t;
  body += SwfEnd();
  const std::string head = std::string(1, compression) + "WS" + U8(static_cast<std::uint32_t>(version)) +
                           SwfU32(fileLength ? fileLength : static_cast<std::uint32_t>(body.size() + 8));
  if (compression == 'C') return head + Zlib(body);
  if (compression == 'Z') {
    std::string properties;
    const std::string data = Lzma(body, properties);
    return head + SwfU32(static_cast<std::uint32_t>(data.size())) + properties + data;
  }
  return head + body;
}

std::string SwfMovieWithZeros(char compression, int version, const std::vector<std::string>& before,
                              std::uint32_t zeroBytes, const std::vector<std::string>& after) {
  Bits rect;
  rect.Put(15, 5), rect.Put(0, 15), rect.Put(11000, 15), rect.Put(0, 15), rect.Put(8000, 15);
  std::string start = rect.Bytes() + SwfU16(24 << 8) + SwfU16(1);
  for (const std::string& t : before) start += t;
  start += SwfU16(6 << 6 | 0x3f) + SwfU32(zeroBytes);
  std::string end;
  for (const std::string& t : after) end += t;
  end += SwfEnd();
  const std::uint64_t total = 8 + start.size() + std::uint64_t{zeroBytes} + end.size();
  std::string out = std::string(1, compression) + "WS" + U8(static_cast<std::uint32_t>(version)) +
                    SwfU32(static_cast<std::uint32_t>(total));
  const std::string zeros(1 << 20, '\0');
  std::string buffer(1 << 20, '\0');
  // The pieces in order: the start, the zeros a megabyte at a time, the end.
  auto pieces = [&](auto&& feed) {
    feed(start);
    for (std::uint32_t left = zeroBytes; left > 0;) {
      const std::uint32_t n = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(zeros.size()));
      feed(std::string_view(zeros).substr(0, n));
      left -= n;
    }
    feed(end);
  };
  if (compression == 'C') {
    z_stream z{};
    deflateInit(&z, 1);
    pieces([&](std::string_view piece) {
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
      z.avail_in = static_cast<uInt>(piece.size());
      while (z.avail_in > 0) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        deflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - z.avail_out);
      }
    });
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      rc = deflate(&z, Z_FINISH);
      out.append(buffer.data(), buffer.size() - z.avail_out);
    }
    deflateEnd(&z);
    return out;
  }
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 1);
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&z, &options) != LZMA_OK) throw std::runtime_error("lzma encoder");
  std::string data;
  auto drain = [&](lzma_action action) {
    lzma_ret rc = LZMA_OK;
    do {
      z.next_out = reinterpret_cast<std::uint8_t*>(buffer.data());
      z.avail_out = buffer.size();
      rc = lzma_code(&z, action);
      data.append(buffer.data(), buffer.size() - z.avail_out);
    } while (action == LZMA_FINISH ? rc == LZMA_OK : z.avail_in > 0);
  };
  pieces([&](std::string_view piece) {
    z.next_in = reinterpret_cast<const std::uint8_t*>(piece.data());
    z.avail_in = piece.size();
    drain(LZMA_RUN);
  });
  drain(LZMA_FINISH);
  lzma_end(&z);
  return out + SwfU32(static_cast<std::uint32_t>(data.size() - 13)) + data.substr(0, 5) + data.substr(13);
}

std::string SwfMovie(char compression, int version, const std::vector<std::string>& tags) {
  return SwfMovieDeclaring(compression, version, tags, 0);
}

}  // namespace tavimo::test
