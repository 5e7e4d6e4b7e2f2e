#pragma once
// The bodies of compressed movies: zlib ("CWS") and LZMA ("ZWS"). Both stop at `expected`
// bytes, the length the header declares (which the caller has already held against its limit),
// so a body that would decompress further costs no more memory than the declared length.
#include <cstddef>
#include <string>
#include <string_view>

namespace tavimo {

// Appends at most `expected` bytes to `out`. Returns an empty string, or why the body could not
// be read in full (what was decompressed before stays in `out`).
std::string InflateSwfBody(std::string_view compressed, std::size_t expected, std::string& out);
// `properties` are the five bytes of LZMA properties (lc/lp/pb and the dictionary size).
std::string UnlzmaSwfBody(std::string_view properties, std::string_view compressed, std::size_t expected,
                          std::string& out);

}  // namespace tavimo
