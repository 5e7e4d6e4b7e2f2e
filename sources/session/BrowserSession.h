#pragma once
// The page of the front browser window, as the browsers' own session files tell it. The browser
// that wrote its session file last is taken as the front one; its file names the selected tab of
// its most recently active window and that tab's current page.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavimo {

// Where the profiles live. Each Firefox folder holds profile folders with
// sessionstore-backups/recovery.jsonlz4 (while running) or sessionstore.jsonlz4 (after a clean
// exit); each Chromium folder holds profile folders with Sessions/Session_*.
struct BrowserSessionRoots {
  std::vector<std::string> firefox;
  std::vector<std::string> chromium;
};

// ~/.mozilla/firefox, $XDG_CONFIG_HOME/mozilla/firefox (newer Firefox), and
// $XDG_CONFIG_HOME/chromium, $XDG_CONFIG_HOME/google-chrome; read from the environment now.
BrowserSessionRoots DefaultBrowserSessionRoots();

enum class SessionFormat { Firefox, Chromium };

struct SessionFile {
  std::string path;
  SessionFormat format = SessionFormat::Firefox;
  std::int64_t modifiedNs = 0;  // last write, nanoseconds since 1970
};

// Every session file under the roots, in no particular order.
std::vector<SessionFile> FindBrowserSessionFiles(const BrowserSessionRoots& roots);
// The one written last (ties go to the greater path, so the choice never flickers).
std::optional<SessionFile> NewestBrowserSessionFile(const BrowserSessionRoots& roots);

// Session files are small; anything bigger than this is not one and is not read.
inline constexpr std::size_t kMaxSessionFileSize = 64u << 20;
// The whole file, or nothing when it cannot be read, is not a regular file or is too big.
std::optional<std::string> ReadSessionFile(const std::string& path, std::size_t limit = kMaxSessionFileSize);

// The current page of the front browser, or nothing. When the newest session file cannot be
// parsed (cut, corrupt, encrypted) the answer is nothing rather than an older file's page: an
// older file belongs to a browser the user is not looking at, and nothing leaves the address
// field as it was.
std::optional<std::string> ReadFrontBrowserAddress(const BrowserSessionRoots& roots);

// The capture rule: at most 248 bytes (never ending inside a UTF-8 sequence), and an empty text
// or exactly "about:blank" counts as nothing captured.
inline constexpr std::size_t kCapturedAddressLimit = 248;
std::optional<std::string> CapturedAddress(std::optional<std::string> address);

// CapturedAddress(ReadFrontBrowserAddress(DefaultBrowserSessionRoots())).
std::optional<std::string> CaptureFrontBrowserAddress();

}  // namespace tavimo
