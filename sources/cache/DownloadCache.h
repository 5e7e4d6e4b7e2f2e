#pragma once
// Tavimo's own URL cache: every download the file getter completes is kept here, so that a
// later download of the same URL can be answered without the network and the cache search
// sees it like a browser's entry. One URL, two files in the folder:
//   "<sha1 of the URL>.body"   the body as saved (decoded): a hard link to the saved file where
//                              the file system allows, else a copy
//   "<sha1 of the URL>.entry"  "tavimo-urlcache 1", the URL, the store time and the body's
//                              size and modification time (an edited saved file no longer
//                              counts), then the response head
// The folder is bounded: the oldest entries leave first.
#include <cstdint>
#include <optional>
#include <string>

#include "sources/cache/CachedResponse.h"

namespace tavimo {

// $XDG_CACHE_HOME/tavimo/urlcache (default ~/.cache/tavimo/urlcache).
std::string DownloadCacheFolder();

// Keeps bodyFile as the answer for url. head: the response head as received; its length and
// encoding headers are replaced by the saved body's. False (error set, nothing kept) when it
// cannot be stored; a URL with a line break, or a body larger than limitBytes, is not kept.
bool StoreDownload(const std::string& folder, const std::string& url, const std::string& head,
                   const std::string& bodyFile, std::int64_t limitBytes, std::string& error);

// One "*.entry" file of the folder; std::nullopt when it or its body is missing, damaged or
// changed since it was stored.
std::optional<CachedResponse> ReadDownloadCacheEntry(const std::string& entryPath);

}  // namespace tavimo
