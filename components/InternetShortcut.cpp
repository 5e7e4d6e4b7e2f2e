#include "components/InternetShortcut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/TextUtils.h"

namespace tavimo {
namespace {

// The escapes a desktop entry's string values may hold.
std::string Unescape(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out.push_back(v[i]);
      continue;
    }
    switch (v[++i]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      default: out.push_back(v[i]); break;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> InternetShortcutAddress(std::string_view text) {
  static constexpr std::string_view kHeader = "[InternetShortcut]";
  std::string_view first = NextLine(text);
  if (first.substr(0, kHeader.size()) != kHeader) return std::nullopt;
  const std::string_view line = first.size() == kHeader.size() ? NextLine(text) : first;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::string(line.substr(eq + 1, kShortcutAddressLimit));
}

std::optional<DesktopLink> ParseDesktopLink(std::string_view text) {
  bool inEntry = false, isLink = false;
  std::optional<std::string> url, name;
  while (!text.empty()) {
    std::string_view line = NextLine(text);
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      inEntry = trimmed == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(trimmed.substr(0, eq));
    const std::string_view value = Trim(trimmed.substr(eq + 1));
    // The first of a repeated key counts; KDE writes the address as URL[$e].
    if (key == "Type") {
      isLink = value == "Link";
    } else if ((key == "URL" || key == "URL[$e]") && !url) {
      url = Unescape(value);
    } else if (key == "Name" && !name) {
      name = Unescape(value);
    }
  }
  if (!isLink || !url || url->empty()) return std::nullopt;
  return DesktopLink{std::move(*url), std::move(name)};
}

std::optional<std::string> ReadShortcutFile(const std::string& path) {
  // Non-blocking open: a FIFO given a shortcut's name must not stall the window.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> content;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string bytes(kShortcutReadLimit, '\0');
    std::size_t got = 0;
    bool failed = false;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed = true;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (!failed) {
      bytes.resize(got);
      content = std::move(bytes);
    }
  }
  ::close(fd);
  return content;
}

}  // namespace tavimo
