#pragma once
// Chromium's and Chrome's session file (<profile>/Sessions/Session_<time>): "SNSS", an i32
// version, then an append-only log of commands, each a u16 size (id byte included), a u8 id and
// its payload. Replaying the commands that shape windows, tabs and their histories gives the
// browser's state at the last write.
#include <optional>
#include <string>
#include <string_view>

namespace tavimo {

// The address shown by the selected tab of the most recently active window, or nothing for a
// file that is not a plain session log (wrong magic, encrypted version 5), that ends inside a
// command or holds a malformed one, or whose windows show nothing.
std::optional<std::string> ChromiumSessionAddress(std::string_view fileBytes);

}  // namespace tavimo
