#include "base/TextUtils.h"

#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view s, std::string_view blanks) {
  const std::size_t from = s.find_first_not_of(blanks);
  return from == std::string_view::npos ? std::string_view() : s.substr(from);
}

std::string_view TrimRight(std::string_view s, std::string_view blanks) {
  const std::size_t last = s.find_last_not_of(blanks);
  return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

std::string_view Trim(std::string_view s, std::string_view blanks) {
  return TrimRight(TrimLeft(s, blanks), blanks);
}

std::string_view TrimControls(std::string_view s) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

namespace {

bool MatchesAt(std::string_view hay, std::size_t at, std::string_view lowerNeedle) {
  for (std::size_t i = 0; i < lowerNeedle.size(); ++i) {
    if (AsciiLower(hay[at + i]) != lowerNeedle[i]) return false;
  }
  return true;
}

#if defined(__SSE2__)
// Tests 16 start positions at once against three bytes of a needle (first, second, last),
// letters compared with the 0x20 bit set; the whole needle is checked only where all three
// agree. Page text is dense with '.', '<' and '=', so a single-byte memchr would stop far
// too often.
class WideProbe {
 public:
  explicit WideProbe(std::string_view needle) : last_(needle.size() - 1) {
    for (int k = 0; k < 3; ++k) {
      const char c = needle[k == 2 ? last_ : static_cast<std::size_t>(k)];
      or_[k] = _mm_set1_epi8(IsAsciiAlpha(c) ? 0x20 : 0);
      eq_[k] = _mm_set1_epi8(c);
    }
  }
  // Bit i set: the needle may start at at + i.
  unsigned Mask(const char* at) const {
    __m128i all = Hits(at, 0);
    all = _mm_and_si128(all, Hits(at + 1, 1));
    all = _mm_and_si128(all, Hits(at + last_, 2));
    return static_cast<unsigned>(_mm_movemask_epi8(all));
  }

 private:
  __m128i Hits(const char* p, int k) const {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_cmpeq_epi8(_mm_or_si128(v, or_[k]), eq_[k]);
  }
  std::size_t last_;
  __m128i or_[3], eq_[3];
};
#endif

}  // namespace

std::size_t FindNoCase(std::string_view hay, std::string_view lowerNeedle, std::size_t from) {
  constexpr auto npos = std::string_view::npos;
  const std::size_t m = lowerNeedle.size();
  if (from > hay.size()) return npos;
  if (m == 0) return from;
  if (hay.size() - from < m) return npos;
  if (m == 1 && !IsAsciiAlpha(lowerNeedle[0])) {
    const void* hit = std::memchr(hay.data() + from, lowerNeedle[0], hay.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data()) : npos;
  }
  const std::size_t last = hay.size() - m;
  std::size_t at = from;
#if defined(__SSE2__)
  if (m >= 2) {
    const WideProbe probe(lowerNeedle);
    for (; at + 16 <= last + 1; at += 16) {
      for (unsigned mask = probe.Mask(hay.data() + at); mask; mask &= mask - 1) {
        const std::size_t cand = at + static_cast<std::size_t>(__builtin_ctz(mask));
        if (MatchesAt(hay, cand, lowerNeedle)) return cand;
      }
    }
  }
#endif
  for (; at <= last; ++at) {
    if (MatchesAt(hay, at, lowerNeedle)) return at;
  }
  return npos;
}

bool FindAllNoCase(std::string_view hay, std::string_view lowerNeedle, std::string_view lowerStop,
                   std::vector<std::size_t>& found, std::size_t from, std::size_t to) {
  const std::size_t n = hay.size(), m = lowerNeedle.size(), ms = lowerStop.size();
  const std::size_t longest = m > ms ? m : ms;
  if (to > n) to = n;
  auto take = [&](std::size_t at) {
    if (found.empty() || at >= found.back() + m) found.push_back(at);
  };
  std::size_t at = from;
#if defined(__SSE2__)
  if (m >= 2 && ms >= 2 && n >= longest) {
    const WideProbe needle(lowerNeedle), stop(lowerStop);
    const std::size_t wideEnd = to < n - longest + 1 ? to : n - longest + 1;
    for (; at + 16 <= wideEnd; at += 16) {
      const unsigned needleMask = needle.Mask(hay.data() + at), stopMask = stop.Mask(hay.data() + at);
      for (unsigned mask = needleMask | stopMask; mask; mask &= mask - 1) {
        const unsigned bit = mask & (~mask + 1);
        const std::size_t cand = at + static_cast<std::size_t>(__builtin_ctz(mask));
        if ((stopMask & bit) && MatchesAt(hay, cand, lowerStop)) return false;
        if ((needleMask & bit) && MatchesAt(hay, cand, lowerNeedle)) take(cand);
      }
    }
  }
#endif
  for (; at < to; ++at) {
    if (ms > 0 && at + ms <= n && MatchesAt(hay, at, lowerStop)) return false;
    if (m > 0 && at + m <= n && MatchesAt(hay, at, lowerNeedle)) take(at);
  }
  return true;
}

std::string_view NextLine(std::string_view& text) {
  const std::size_t end = text.find_first_of("\r\n");
  const std::string_view line = text.substr(0, end);
  if (end == std::string_view::npos) {
    text = {};
  } else {
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    text.remove_prefix(end + (crlf ? 2 : 1));
  }
  return line;
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
