#pragma once
// The cache search's test of one cache entry: whether its URL is a Flash movie that belongs in
// the item list, and as which URL.
#include <string>

namespace tavimo {

// The host the entries must contain: the address field's text without a leading "http://" or
// "https://" (exact letter case) and without anything from its first "/".
std::string CacheSearchHost(const std::string& addressText);

// The URL to list for an entry (cut before its first "?"), or "" when the entry is not listed:
// with listAllCache false it must contain the host (an empty host matches nothing), and it
// must end in ".swf" exactly. The duplicate test is the caller's.
std::string CacheSearchUrl(const std::string& entryUrl, const std::string& addressText, bool listAllCache);

}  // namespace tavimo
