#pragma once
// Firefox's session file (sessionstore-backups/recovery.jsonlz4, or sessionstore.jsonlz4 after a
// clean exit): "mozLz40\0", the decompressed size as u32 LE, one LZ4 block holding JSON.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavimo {

// Biggest decompressed session Tavimo accepts; a real one is a few hundred KiB at most.
inline constexpr std::size_t kMaxFirefoxSessionJson = 64u << 20;
// Deepest nesting of arrays and objects read; a real session nests a few dozen levels (frames
// within frames). Deeper text is not read at all: each level costs the parser memory.
inline constexpr std::size_t kMaxFirefoxSessionDepth = 512;

// The JSON text of a mozLz4 file, or nothing when the header, the declared size or the block is
// not right (a file half written counts as not right).
std::optional<std::string> DecodeMozLz4(std::string_view fileBytes);

// The page the front window's selected tab shows:
// windows[selectedWindow-1].tabs[selected-1].entries[index-1].url, all 1-based. Any missing,
// mistyped or out-of-range step gives nothing, as does text nested deeper than
// kMaxFirefoxSessionDepth. Only the members on that way are kept while parsing.
std::optional<std::string> FirefoxSessionAddress(std::string_view fileBytes);

}  // namespace tavimo
