#include "detect/MemoLines.h"

#include <cstring>

namespace tavimo {
namespace {

// Calls onLine(text) for every line of bytes and returns nothing; the break rules of the box.
template <typename OnLine>
void SplitLines(std::string_view bytes, OnLine onLine) {
  const char* const begin = bytes.data();
  const std::size_t n = bytes.size();
  // The next CR and LF are each found once by memchr and remembered until passed, so a text
  // without one of them is still scanned in linear time.
  std::size_t nextCr = 0, nextLf = 0;
  bool crValid = false, lfValid = false;
  auto findFrom = [&](char c, std::size_t from) {
    const void* hit = from < n ? std::memchr(begin + from, c, n - from) : nullptr;
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - begin) : n;
  };
  std::size_t pos = 0;
  while (pos < n) {
    if (!crValid || nextCr < pos) { nextCr = findFrom('\r', pos); crValid = true; }
    if (!lfValid || nextLf < pos) { nextLf = findFrom('\n', pos); lfValid = true; }
    const std::size_t end = nextCr < nextLf ? nextCr : nextLf;
    onLine(bytes.substr(pos, end - pos));
    if (end == n) break;
    pos = end + ((begin[end] == '\r' && end + 1 < n && begin[end + 1] == '\n') ? 2 : 1);
  }
}

}  // namespace

std::string_view TMemoLines::operator[](std::size_t index) const {
  const std::size_t start = starts_.at(index);
  const std::size_t next = index + 1 < starts_.size() ? starts_[index + 1] : text_.size();
  return std::string_view(text_).substr(start, next - start - 2);
}

void TMemoLines::Clear() {
  text_.clear();
  text_.shrink_to_fit();
  starts_.clear();
  starts_.shrink_to_fit();
}

void TMemoLines::AppendLine(std::string_view line) {
  starts_.push_back(text_.size());
  text_.append(line);
  text_.append("\r\n", 2);
}

void TMemoLines::Add(std::string_view line) {
  if (line.empty()) {
    AppendLine(line);
    return;
  }
  SplitLines(line, [this](std::string_view l) { AppendLine(l); });
  // A trailing break typed into the box leaves the caret on a new, empty line.
  if (line.back() == '\r' || line.back() == '\n') AppendLine({});
}

void LoadMemoFromStream(TMemoLines& memo, TMemoryStream& stream) {
  memo.Clear();
  const std::string_view bytes = stream.View();
  memo.text_.reserve(bytes.size() + bytes.size() / 16 + 2);
  SplitLines(bytes, [&memo](std::string_view line) {
    if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
      line = line.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - line.data()));
    }
    memo.AppendLine(line);
  });
}

}  // namespace tavimo
