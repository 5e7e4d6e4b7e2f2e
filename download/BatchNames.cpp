#include "download/BatchNames.h"

namespace tavimo {

namespace {

// An extension longer than this is no extension but part of a long name.
constexpr std::size_t kMaxExtensionBytes = 32;

// text cut to at most n bytes, never inside a UTF-8 character.
std::string CutUtf8(const std::string& text, std::size_t n) {
  if (text.size() <= n) return text;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

}  // namespace

std::string NumberedPath(const std::string& path, int n) {
  const auto slash = path.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  auto dot = path.find_last_of('.');
  // A leading dot (".swf") names the file, it does not start an extension.
  if (dot == std::string::npos || dot <= nameStart || path.size() - dot > kMaxExtensionBytes)
    dot = path.size();
  const std::string number = n < 2 ? std::string() : " (" + std::to_string(n) + ")";
  const std::string extension = path.substr(dot);
  const std::size_t room = kMaxFileNameBytes - number.size() - extension.size();
  return path.substr(0, nameStart) + CutUtf8(path.substr(nameStart, dot - nameStart), room) + number +
         extension;
}

std::string BatchNames::Take(const std::string& path) {
  std::lock_guard lock(mutex_);
  std::string chosen = NumberedPath(path, 1);
  for (int n = 2; taken_.count(chosen); ++n) chosen = NumberedPath(path, n);
  taken_.insert(chosen);
  return chosen;
}

void BatchNames::Release(const std::string& path) {
  std::lock_guard lock(mutex_);
  taken_.erase(path);
}

}  // namespace tavimo
