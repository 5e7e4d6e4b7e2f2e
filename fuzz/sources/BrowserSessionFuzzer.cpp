// Arbitrary session files through both parsers. An input that looks like JSON is also wrapped
// into a mozLz4 file (one literal-only LZ4 block) so the walk through the document gets fuzzed
// without first having to find a valid compressed block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sources/session/ChromiumSession.h"
#include "sources/session/FirefoxSession.h"

namespace {

std::string WrapAsMozLz4(std::string_view json) {
  std::string out("mozLz40\0", 8);
  for (int i = 0; i < 4; ++i) out += static_cast<char>(json.size() >> (8 * i));
  out += static_cast<char>((json.size() < 15 ? json.size() : 15) << 4);
  if (json.size() >= 15) {
    std::size_t rest = json.size() - 15;
    for (; rest >= 255; rest -= 255) out += '\xff';
    out += static_cast<char>(rest);
  }
  return out.append(json);
}

void CheckAddress(const std::optional<std::string>& address) {
  if (address && address->empty()) __builtin_trap();  // nothing is never an empty text
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckAddress(tavimo::FirefoxSessionAddress(bytes));
  CheckAddress(tavimo::ChromiumSessionAddress(bytes));
  if (!bytes.empty() && bytes.front() == '{' && size <= tavimo::kMaxFirefoxSessionJson) {
    const std::string file = WrapAsMozLz4(bytes);
    if (!tavimo::DecodeMozLz4(file)) __builtin_trap();  // a valid block must decode
    CheckAddress(tavimo::FirefoxSessionAddress(file));
  }
  return 0;
}
