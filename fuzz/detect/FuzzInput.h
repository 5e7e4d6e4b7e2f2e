#pragma once
// Splits a fuzz input into a page address (up to the first LF, at most 300 bytes) and a page.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavimo::fuzz {

struct PageInput {
  std::string address, page;
};

inline PageInput SplitInput(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t lf = all.find('\n');
  if (lf == std::string::npos || lf > 300) return {"http://host/dir/page.htm", all};
  return {all.substr(0, lf), all.substr(lf + 1)};
}

// Inputs up to this size are also run through the (quadratic) plain version.
constexpr std::size_t kCompareLimit = 4096;

}  // namespace tavimo::fuzz
