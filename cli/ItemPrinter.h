#pragma once
// What tavimo-scan prints: one line per movie found (standard output), and one per page that
// failed (standard error).
#include <cstdint>
#include <optional>
#include <string>

namespace tavimo::cli {

struct FoundItem {
  std::string url;     // bytes as the page wrote them
  std::string name;    // the save-as name
  std::string page;    // the page scanned (the address given, or the archive record's URI)
  int pass = 1;        // 1 = the page itself, 2 = its frames, ...; 0 for cache and archive finds
  std::string source;  // "page", "cache" or "warc"
  std::optional<std::uint64_t> offset;  // the archive record's offset ("warc" only)
  std::string warc;                     // the archive file ("warc" only)
};

// Text: "URL<tab>name<newline>", bytes as they are; a movie found in a cache or an archive adds
// "<tab>cache" or "<tab>warc" before the line end. JSON: one object per line; JSON text must
// be UTF-8, so a URL that is not has its other bytes %XX-encoded (the same address), and
// undecodable bytes of a name become U+FFFD.
std::string FormatItem(const FoundItem& item, bool json);
// A page that could not be scanned: JSON {"page": ..., "error": ...}; text
// "tavimo-scan: page: reason".
std::string FormatFailure(const std::string& page, const std::string& reason, bool json);

}  // namespace tavimo::cli
