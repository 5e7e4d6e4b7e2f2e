#pragma once
// Shortcut files that carry a web address: Internet shortcuts (".url", as Windows and the
// browsers write them) and freedesktop link files (".desktop" with Type=Link). A dropped
// shortcut file is read for its address; the read is bounded and never blocks on a special file.
#include <optional>
#include <string>
#include <string_view>

namespace tavimo {

// Addresses longer than this are cut.
inline constexpr std::size_t kShortcutAddressLimit = 250;
// How much of a shortcut file is read at most.
inline constexpr std::size_t kShortcutReadLimit = 64 * 1024;

// The address in the text of an Internet shortcut: the first line must begin with
// "[InternetShortcut]" (letter case counts); the line used is the second one when the first is
// exactly that header, else the first itself; the address is what follows its first "=".
std::optional<std::string> InternetShortcutAddress(std::string_view text);

struct DesktopLink {
  std::string URL;
  std::optional<std::string> Name;
};
// A [Desktop Entry] group with Type=Link and a URL key; Name (unlocalised) when present.
std::optional<DesktopLink> ParseDesktopLink(std::string_view text);

// Up to kShortcutReadLimit bytes of a regular file; nullopt when it cannot be opened, is not
// a regular file or cannot be read.
std::optional<std::string> ReadShortcutFile(const std::string& path);

}  // namespace tavimo
