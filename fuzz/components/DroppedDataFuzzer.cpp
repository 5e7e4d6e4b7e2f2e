// Arbitrary drags and shortcut files: the input is split at 0xFF bytes into a shortcut text and
// the payloads a source may offer; every format is asked for and the link drop target reads the
// drag as it would at drag enter and drop.
#include <QByteArray>
#include <QMimeData>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/DropURLTarget.h"
#include "components/InternetShortcut.h"
#include "compat/DragData.h"

namespace {

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\xFF', start);
    parts.push_back(
        input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }

  if (auto address = tavimo::InternetShortcutAddress(parts[0])) {
    if (address->size() > tavimo::kShortcutAddressLimit) __builtin_trap();
  }
  if (auto link = tavimo::ParseDesktopLink(parts[0])) {
    if (link->URL.empty()) __builtin_trap();
  }
  if (!ValidUtf8(tavimo::Utf16LeToUtf8(parts[0]))) __builtin_trap();
  for (const std::string& uri : tavimo::UriListEntries(parts[0])) {
    if (auto path = tavimo::LocalFilePath(uri); path && path->find('\0') != std::string::npos)
      __builtin_trap();
  }

  static const char* const kTypes[] = {"text/x-moz-url",
                                       "_NETSCAPE_URL",
                                       "text/uri-list",
                                       "text/plain",
                                       "application/x-qt-windows-mime;value=\"UniformResourceLocator\"",
                                       "FileContents"};
  QMimeData mime;
  for (std::size_t i = 1; i < parts.size() && i - 1 < std::size(kTypes); ++i) {
    mime.setData(kTypes[i - 1], QByteArray(parts[i].data(), static_cast<qsizetype>(parts[i].size())));
  }
  const tavimo::MimeDragData drag(&mime);
  if (auto formats = drag.EnumFormats()) {
    for (const std::string& f : *formats) {
      if (!drag.GetData(f)) __builtin_trap();  // every listed format can be had
    }
  }
  tavimo::TDropURLTarget target;
  std::uint32_t effect = tavimo::kDropEffectCopy | tavimo::kDropEffectLink;
  if (target.DragEnter(drag, 0, {}, effect)) {
    target.Drop(drag, 0, {}, effect);
    if (!target.URL().empty()) __builtin_trap();  // forgotten once the drop is over
  }
  return 0;
}
