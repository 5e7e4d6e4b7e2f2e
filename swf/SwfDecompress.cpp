#include "swf/SwfDecompress.h"

#include <algorithm>
#include <cstdint>
#include <lzma.h>
#include <zlib.h>

namespace tavimo {
namespace {

// Output grows by this much at a time, never past `expected`.
constexpr std::size_t kChunk = 256 * 1024;
// Input handed over at a time (the libraries count in 32 bits).
constexpr std::size_t kMaxFeed = 1u << 30;

std::string Short(std::size_t got, std::size_t expected) {
  return "the compressed data ends after " + std::to_string(got) + " of the " + std::to_string(expected) +
         " bytes the header declares";
}

}  // namespace

std::string InflateSwfBody(std::string_view compressed, std::size_t expected, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return "zlib could not be started";
  const std::size_t start = out.size();
  std::size_t fed = 0;
  std::string error;
  while (out.size() - start < expected) {
    if (z.avail_in == 0 && fed < compressed.size()) {
      const std::size_t n = std::min(kMaxFeed, compressed.size() - fed);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + fed));
      z.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    const std::size_t have = out.size();
    const std::size_t room = std::min(kChunk, expected - (have - start));
    out.resize(have + room);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
    z.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.resize(have + (room - z.avail_out));
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && fed == compressed.size()) break;  // input used up
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      error = std::string("the zlib data is damaged") + (z.msg ? std::string(" (") + z.msg + ")" : "");
      break;
    }
  }
  inflateEnd(&z);
  if (error.empty() && out.size() - start < expected) error = Short(out.size() - start, expected);
  return error;
}

std::string UnlzmaSwfBody(std::string_view properties, std::string_view compressed, std::size_t expected,
                          std::string& out) {
  if (properties.size() != 5) return "the LZMA properties are missing";
  // The stream is handed to liblzma in its .lzma form: the properties, then the uncompressed size
  // as unknown (movies end with or without an end marker; reading stops at `expected`). The
  // dictionary never needs to be larger than the output, so a declared giant one is cut down to it.
  std::uint8_t header[13];
  header[0] = static_cast<std::uint8_t>(properties[0]);
  std::uint32_t dict = 0;
  for (int i = 3; i >= 0; --i) dict = dict << 8 | static_cast<std::uint8_t>(properties[1 + i]);
  dict = static_cast<std::uint32_t>(std::min<std::uint64_t>(dict, std::max<std::uint64_t>(expected, 4096)));
  for (int i = 0; i < 4; ++i) header[1 + i] = static_cast<std::uint8_t>(dict >> (8 * i));
  for (int i = 5; i < 13; ++i) header[i] = 0xff;

  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&z, 256ull * 1024 * 1024) != LZMA_OK) return "LZMA could not be started";
  const std::size_t start = out.size();
  std::string error;
  // First the made-up header, then the movie's data.
  int part = 0;
  std::size_t fed = 0;
  while (out.size() - start < expected) {
    if (z.avail_in == 0 && part == 0) {
      z.next_in = header;
      z.avail_in = sizeof header;
      part = 1;
    } else if (z.avail_in == 0 && part == 1) {
      const std::size_t n = std::min(kMaxFeed, compressed.size() - fed);
      z.next_in = reinterpret_cast<const std::uint8_t*>(compressed.data() + fed);
      z.avail_in = n;
      fed += n;
      if (fed == compressed.size()) part = 2;
    }
    const bool last = part == 2;
    const std::size_t have = out.size();
    const std::size_t room = std::min(kChunk, expected - (have - start));
    out.resize(have + room);
    z.next_out = reinterpret_cast<std::uint8_t*>(out.data() + have);
    z.avail_out = room;
    const lzma_ret rc = lzma_code(&z, last ? LZMA_FINISH : LZMA_RUN);
    out.resize(have + (room - z.avail_out));
    if (rc == LZMA_STREAM_END) break;
    if (rc == LZMA_BUF_ERROR) break;  // input used up
    if (rc != LZMA_OK) {
      error = rc == LZMA_MEMLIMIT_ERROR ? "the LZMA data needs too much memory" : "the LZMA data is damaged";
      break;
    }
  }
  lzma_end(&z);
  if (error.empty() && out.size() - start < expected) error = Short(out.size() - start, expected);
  return error;
}

}  // namespace tavimo
