// The cache search without the window: TIECache walks the URL cache store of the user's
// caches ($XDG_CACHE_HOME) and each entry goes through the search's test with "list all
// cache" on, the listed URLs kept in a set as the window's duplicate test keeps them.
// Prints "<entries> <listed> <seconds> <peak RSS kB>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unordered_set>

#include "components/IECache.h"
#include "detect/CacheSearch.h"
#include "sources/cache/UrlCacheStore.h"

namespace {

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main() {
  tavimo::UrlCacheStore store;
  tavimo::TIECache cache(&store);
  std::uint64_t entries = 0;
  std::unordered_set<std::string> listed;
  cache.OnEntry = [&](tavimo::TIECache* sender, bool&) {
    ++entries;
    const std::string url = tavimo::CacheSearchUrl(sender->EntryInfo().SourceUrlName, "", true);
    if (!url.empty()) listed.insert(url);
  };
  cache.SearchPattern = tavimo::spUrl;
  const auto start = std::chrono::steady_clock::now();
  cache.EnumerateEntries(0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu %zu %.6f %ld\n", static_cast<unsigned long long>(entries), listed.size(), seconds,
              PeakRssKb());
  return entries > 0 ? 0 : 1;
}
