#include "detect/ScanAddress.h"

#include "base/TextUtils.h"

namespace tavimo {
namespace {

// The scheme before the first ':' ("" when the text does not start with one).
std::string SchemeOf(const std::string& s) {
  if (s.empty() || !IsAsciiAlpha(s[0])) return {};
  std::size_t i = 1;
  while (i < s.size() && (IsAsciiAlnum(s[i]) || s[i] == '+' || s[i] == '-' || s[i] == '.')) {
    ++i;
  }
  if (i >= s.size() || s[i] != ':') return {};
  // "localhost:8000/x" is a host and its port, not a scheme.
  std::size_t j = i + 1;
  while (j < s.size() && IsAsciiDigit(s[j])) ++j;
  if (j > i + 1 && (j == s.size() || s[j] == '/' || s[j] == '?' || s[j] == '#')) return {};
  return AsciiLowerCopy(std::string_view(s).substr(0, i));
}

}  // namespace

bool IsWebAddress(const std::string& address) {
  const std::string scheme = SchemeOf(address);
  return (scheme == "http" || scheme == "https") && address.compare(scheme.size(), 3, "://") == 0;
}

ScanAddress UsableScanAddress(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const std::string s = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  if (s.rfind("//", 0) == 0) return {"http:" + s, {}};
  const std::string scheme = SchemeOf(s);
  if (scheme.empty()) return {"http://" + s, {}};
  if (scheme == "http" || scheme == "https") return {s, {}};
  return {{}, kOnlyWebPages};
}

}  // namespace tavimo
