#include "detect/CacheSearch.h"

namespace tavimo {

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
  if (!listAllCache) {
    const std::string host = CacheSearchHost(addressText);
    if (host.empty() || entryUrl.find(host) == std::string::npos) return {};
  }
  std::string url = entryUrl.substr(0, entryUrl.find('?'));
  if (url.size() < 4 || url.compare(url.size() - 4, 4, ".swf") != 0) return {};
  return url;
}

}  // namespace tavimo
