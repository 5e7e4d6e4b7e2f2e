#pragma once
// The cache search: the Flash movies of the URL cache appended to an item list, in the order
// the cache reports its entries. The window feeds it from its cache enumerator, entry by entry;
// tavimo-scan from the movie URLs it reads from the cache once per run.
#include <string>
#include <unordered_set>
#include <vector>

namespace tavimo {

class ItemSink;
class UrlCacheStore;

// The host the entries must contain: the address field's text without a leading "http://" or
// "https://" (exact letter case) and without anything from its first "/".
std::string CacheSearchHost(const std::string& addressText);

// The URL to list for an entry (cut before its first "?"), or "" when the entry is not listed:
// with listAllCache false it must contain the host (an empty host matches nothing), and it
// must end in ".swf" exactly. The duplicate test is CacheSearch's.
std::string CacheSearchUrl(const std::string& entryUrl, const std::string& addressText, bool listAllCache);

// One search. Each entry the test above lists is appended to items with its default save-as
// name, unless the list has that URL already (exact: another letter case is another URL).
class CacheSearch {
 public:
  // addressText: the address field's text when the search starts (nothing changes it while the
  // entries are handled).
  CacheSearch(ItemSink& items, const std::string& addressText, bool listAllCache);
  void Entry(const std::string& entryUrl);

 private:
  ItemSink& items_;
  std::string host_;
  bool listAllCache_;
  // The list's URLs: a cache of many movies must not make the duplicate test slow.
  std::unordered_set<std::string> listed_;
};

// A whole search over entry URLs in the cache's order.
void SearchCache(const std::vector<std::string>& entryUrls, ItemSink& items, const std::string& addressText,
                 bool listAllCache);

// The URLs of the store's entries that a search can list (".swf" once cut at "?"), in the
// cache's order, each up to its first NUL as the window's enumerator reports it.
std::vector<std::string> CachedMovieUrls(const UrlCacheStore& store);

}  // namespace tavimo
