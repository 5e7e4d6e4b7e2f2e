#include "cli/HeadlessScan.h"

#include "detect/CacheSearch.h"
#include "detect/MemoLines.h"
#include "download/ComponentLimits.h"
#include "net/HttpCli.h"
#include "compat/Registry.h"

namespace tavimo::cli {

HeadlessScan::HeadlessScan(int detectMode, const std::vector<std::string>& cachedSwfUrls,
                           const RegistrySource& registry, bool withQuery)
    : detectMode_(detectMode),
      cachedSwfUrls_(cachedSwfUrls),
      registry_(registry),
      memo_(std::make_unique<TMemoLines>()),
      client_(std::make_unique<THttpCli>()) {
  client_->SetMultiThreaded(true);  // as the window's page client
  scan_ = std::make_unique<TPageScan>(*this, *this, *memo_, *client_);
  scan_->WriteLinkList = false;
  scan_->WithQuery = withQuery;
}

HeadlessScan::~HeadlessScan() = default;

void HeadlessScan::SetLimits(const SettingValues& limits) {
  tavimo::SetLimits(limits, *scan_);
  tavimo::SetLimits(limits, *client_);
}

bool HeadlessScan::ReadProxySettings(std::string& host, std::string& port) {
  // Asked before every page. The run's registry is its environment, which nothing changes while
  // the run lasts, so it is read at the first page only (a read that fails is tried again).
  if (!proxy_) {
    Proxy read;
    read.found = tavimo::ReadProxySettings(registry_, read.host, read.port);
    proxy_ = std::move(read);
  }
  if (!proxy_->found) return false;
  host = proxy_->host;
  port = proxy_->port;
  return true;
}

void HeadlessScan::AppendItem(const std::string& url, const std::string& saveAsName) {
  FoundItem item;
  item.url = url;
  item.name = saveAsName;
  item.page = address_;
  item.pass = fromCache_ ? 0 : scan_->CurrentPass();
  item.source = fromCache_ ? "cache" : "page";
  items_.push_back(std::move(item));
}

void HeadlessScan::StartCacheSearch(bool listAllCache) {
  // The window's cache search over the entries read at the start of the run.
  fromCache_ = true;
  SearchCache(cachedSwfUrls_, *this, address_, listAllCache);
  fromCache_ = false;
}

ScanOutcome HeadlessScan::Scan(const std::string& address) {
  address_ = address;
  status_.clear();
  anyFailed_ = false;
  scan_->butgoClick();
  ScanOutcome out;
  out.items = std::move(items_);
  items_.clear();
  if (anyFailed_ || status_ != "Finished") {
    const std::string prefix = "Finished: ";
    out.failure = status_.compare(0, prefix.size(), prefix) == 0 ? status_.substr(prefix.size()) : status_;
    if (out.failure.empty()) out.failure = "the scan did not finish";
  }
  return out;
}

}  // namespace tavimo::cli
