#include "base/IniDocument.h"

#include <algorithm>
#include <charconv>

#include "base/TextUtils.h"

namespace tavimo {
namespace {

constexpr size_t kMaxValue = 2047;

// Blanks around names and values; a line's own CR and LF are blanks too.
std::string_view TrimLine(std::string_view s) { return Trim(s, " \t\r\n"); }

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  std::string current;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Line line{std::string(raw), {}, {}, false};
    std::string_view t = TrimLine(raw);
    if (!t.empty() && t.front() == '[') {
      const size_t close = t.find(']');
      current =
          AsciiLowerCopy(TrimLine(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
      line.isSection = true;
      line.section = current;
    } else if (!t.empty() && t.front() != ';') {
      const size_t eq = t.find('=');
      if (eq != std::string_view::npos) {
        line.section = current;
        line.key = AsciiLowerCopy(TrimLine(t.substr(0, eq)));
      }
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const Line& l : lines_) {
    out += l.text;
    out += "\r\n";
  }
  return out;
}

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const {
  const std::string s = AsciiLowerCopy(TrimLine(section)), k = AsciiLowerCopy(TrimLine(key));
  for (const Line& l : lines_) {
    if (l.isSection || l.key.empty() || l.section != s || l.key != k) continue;
    std::string_view v = TrimLine(std::string_view(l.text).substr(l.text.find('=') + 1));
    // A value in matching quotes is read without them, as the Windows reader does.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    return std::string(v.substr(0, kMaxValue));
  }
  return std::nullopt;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string s = AsciiLowerCopy(TrimLine(section)), k = AsciiLowerCopy(TrimLine(key));
  std::string text = std::string(key) + "=" + std::string(value);
  std::optional<size_t> lastOfSection;
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    Line& l = lines_[i];
    if (l.isSection) {
      inSection = l.section == s;
      if (inSection) lastOfSection = i;
      continue;
    }
    if (!inSection) continue;
    if (l.key == k) {
      l.text = std::move(text);
      return;
    }
    if (!TrimLine(l.text).empty()) lastOfSection = i;
  }
  if (lastOfSection) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*lastOfSection + 1),
                  Line{std::move(text), s, k, false});
    return;
  }
  lines_.push_back(Line{"[" + std::string(section) + "]", s, {}, true});
  lines_.push_back(Line{std::move(text), s, k, false});
}

std::optional<int> ParseLenientInteger(std::string_view text) {
  std::string_view t = TrimLine(text);
  const size_t whole = t.size();
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (!t.empty() && t.front() == '$') {
    base = 16;
    t.remove_prefix(1);
  } else if (whole > 2 && t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty() || t.front() == '-' || t.front() == '+') return std::nullopt;
  long long v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  if (negative) v = -v;
  // Hex values wrap into 32 bits as the Pascal reader does ($FFFFFFFF is -1).
  if (base == 16 && v >= 0 && v <= 0xFFFFFFFFLL) return static_cast<int>(static_cast<unsigned>(v));
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace tavimo
