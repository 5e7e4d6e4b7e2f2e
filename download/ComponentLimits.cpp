#include "download/ComponentLimits.h"

#include "detect/PageScan.h"
#include "download/DownloadDriver.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/SettingValues.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo {

void SetLimits(const SettingValues& limits, TPageScan& scan) {
  scan.MaxPages = limits.Get(Setting::Pages);
  scan.MaxPageBytes = limits.Get(Setting::PageBytes);
  scan.MaxScanBytes = limits.Get(Setting::ScanBytes);
}

void SetLimits(const SettingValues& limits, THttpCli& client) {
  client.MaxHeaderBytes = static_cast<std::size_t>(limits.Get(Setting::HeadBytes));
  client.MaxRelocations = limits.Get(Setting::Redirects);
  client.InactivityTimeout = limits.Get(Setting::ClientIdleSeconds);
  client.RequestTimeout = limits.Get(Setting::ClientRequestSeconds);
}

void SetLimits(const SettingValues& limits, THTTPGet& getter) {
  getter.MaxHeaderBytes = static_cast<std::size_t>(limits.Get(Setting::HeadBytes));
  getter.ConnectTimeout = limits.Get(Setting::GetterConnectSeconds);
  getter.StallTimeout = limits.Get(Setting::GetterStallSeconds);
  getter.CacheLimitBytes = limits.Get(Setting::CacheBytes);
  getter.MaxMovieBytes = limits.Get(Setting::MovieBytes);
}

void SetLimits(const SettingValues& limits, TDownloadDriver& download) {
  download.MaxMovieBytes = limits.Get(Setting::MovieBytes);
}

void SetLimits(const SettingValues& limits, UrlCacheStore& cache) {
  cache.MaxMovieBytes = limits.Get(Setting::MovieBytes);
}

}  // namespace tavimo
