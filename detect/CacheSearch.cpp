#include "detect/CacheSearch.h"

#include "detect/ItemSink.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo {

namespace {

std::string ListedUrl(const std::string& entryUrl, const std::string& host, bool listAllCache) {
  if (!listAllCache && (host.empty() || entryUrl.find(host) == std::string::npos)) return {};
  std::string url = entryUrl.substr(0, entryUrl.find('?'));
  if (url.size() < 4 || url.compare(url.size() - 4, 4, ".swf") != 0) return {};
  return url;
}

}  // namespace

std::string CacheSearchHost(const std::string& addressText) {
  std::string host = addressText;
  if (host.compare(0, 7, "http://") == 0) {
    host.erase(0, 7);
  } else if (host.compare(0, 8, "https://") == 0) {
    host.erase(0, 8);
  }
  const auto slash = host.find('/');
  if (slash != std::string::npos) host.resize(slash);
  return host;
}

std::string CacheSearchUrl(const std::string& entryUrl, const std::string& addressText, bool listAllCache) {
  return ListedUrl(entryUrl, listAllCache ? std::string() : CacheSearchHost(addressText), listAllCache);
}

CacheSearch::CacheSearch(ItemSink& items, const std::string& addressText, bool listAllCache)
    : items_(items), host_(CacheSearchHost(addressText)), listAllCache_(listAllCache) {
  for (int i = 0; i < items.Count(); ++i) listed_.insert(items.Url(i));
}

void CacheSearch::Entry(const std::string& entryUrl) {
  std::string url = ListedUrl(entryUrl, host_, listAllCache_);
  if (url.empty() || !listed_.insert(url).second) return;
  items_.AppendItem(url, DefaultSaveAsName(url));
}

void SearchCache(const std::vector<std::string>& entryUrls, ItemSink& items, const std::string& addressText,
                 bool listAllCache) {
  CacheSearch search(items, addressText, listAllCache);
  for (const std::string& url : entryUrls) search.Entry(url);
}

std::vector<std::string> CachedMovieUrls(const UrlCacheStore& store) {
  const auto listable = [](const std::string& url) { return !CacheSearchUrl(url.c_str(), "", true).empty(); };
  std::vector<std::string> out;
  UrlCacheListing listing = store.Entries(listable);
  while (const std::optional<UrlCacheEntry> e = listing.Next()) out.emplace_back(e->url.c_str());
  return out;
}

}  // namespace tavimo
