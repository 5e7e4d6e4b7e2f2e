#include "detect/TextUtils.h"

#include <cstring>

namespace tavimo {

std::size_t LastPos(char c, std::string_view s) {
  if (s.size() < 2) return 0;
  const std::size_t at = s.rfind(c);
  return at == std::string_view::npos ? 0 : at + 1;
}

std::size_t CountOf(std::string_view t, std::string_view s) {
  if (t.empty()) return 0;
  std::size_t count = 0;
  for (std::size_t at = s.find(t); at != std::string_view::npos; at = s.find(t, at + t.size())) {
    ++count;
  }
  return count;
}

std::string AsciiLowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool MatchesAt(std::string_view hay, std::size_t at, std::string_view lowerNeedle) {
  for (std::size_t i = 0; i < lowerNeedle.size(); ++i) {
    if (AsciiLower(hay[at + i]) != lowerNeedle[i]) return false;
  }
  return true;
}

}  // namespace

std::size_t FindNoCase(std::string_view hay, std::string_view lowerNeedle, std::size_t from) {
  constexpr auto npos = std::string_view::npos;
  const std::size_t m = lowerNeedle.size();
  if (from > hay.size()) return npos;
  if (m == 0) return from;
  if (hay.size() - from < m) return npos;
  const std::size_t last = hay.size() - m;  // last possible start
  // Anchor on a byte that has no case, so memchr can do the skipping.
  std::size_t anchor = 0;
  while (anchor < m && IsAsciiLetter(lowerNeedle[anchor])) ++anchor;
  if (anchor < m) {
    const char a = lowerNeedle[anchor];
    std::size_t pos = from + anchor;
    while (pos <= last + anchor) {
      const void* hit = std::memchr(hay.data() + pos, a, last + anchor - pos + 1);
      if (!hit) return npos;
      const std::size_t h = static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
      if (MatchesAt(hay, h - anchor, lowerNeedle)) return h - anchor;
      pos = h + 1;
    }
    return npos;
  }
  const char first = lowerNeedle[0];
  for (std::size_t at = from; at <= last; ++at) {
    if (AsciiLower(hay[at]) == first && MatchesAt(hay, at, lowerNeedle)) return at;
  }
  return npos;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace tavimo
