#include "cli/HeadlessDownload.h"

#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/UrlCacheStore.h"

namespace tavimo::cli {

HeadlessDownload::HeadlessDownload(std::string saveDir, std::string category, int downloadMode,
                                   const RegistrySource& registry, std::FILE* report, bool bar)
    : saveDir_(std::move(saveDir)),
      category_(std::move(category)),
      mode_(downloadMode),
      registry_(registry),
      report_(report),
      bar_(bar),
      store_(std::make_unique<UrlCacheStore>()),
      getter_(std::make_unique<THTTPGet>(registry)),
      client_(std::make_unique<THttpCli>()) {
  getter_->CacheStore = store_.get();
  driver_ = std::make_unique<TDownloadDriver>(*this, *getter_, *client_);
  driver_->CacheStore = store_.get();
}

HeadlessDownload::~HeadlessDownload() = default;

void HeadlessDownload::SetMaxMovieBytes(std::int64_t bytes) {
  getter_->MaxMovieBytes = bytes;
  driver_->MaxMovieBytes = bytes;
}

bool HeadlessDownload::ReadProxySettings(std::string& host, std::string& port) {
  return tavimo::ReadProxySettings(registry_, host, port);
}

void HeadlessDownload::SetStatusText(const std::string& text) {
  if (bar_) std::fputs("\r\033[K", report_);
  // The window's texts: "<n> Bytes Received", "Download failed: <why>", "Not in the cache: <url>".
  if (text.rfind("Download failed", 0) == 0 || text.rfind("Not in the cache", 0) == 0) failed_ = true;
  std::fprintf(report_, "%s: %s\n", item_.c_str(), text.c_str());
  std::fflush(report_);
}

void HeadlessDownload::SetGaugeProgress(int value) {
  if (value == gauge_) return;
  gauge_ = value;
  if (!bar_ || value <= 0) return;
  const int filled = value * 30 / 100;
  std::fprintf(report_, "\r\033[K[%s%s] %3d%% %s", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(30 - filled), '.').c_str(), value, item_.c_str());
  std::fflush(report_);
}

bool HeadlessDownload::Save(const std::vector<FoundItem>& items) {
  if (items.empty()) return true;
  failed_ = false;
  const std::string folder = driver_->ItemFolder();
  if (!EnsureFolder(folder.substr(0, folder.size() - 1))) {
    std::fprintf(report_, "cannot create %s\n", folder.c_str());
    return false;
  }
  // One item per batch, so each line names its item; the batch rule for equal names still
  // holds over the page's items (numbered paths).
  std::vector<std::string> paths;
  for (const FoundItem& item : items) paths.push_back(folder + item.name);
  paths = DistinctBatchPaths(paths);
  for (size_t i = 0; i < items.size(); ++i) {
    item_ = items[i].name;
    try {
      driver_->DownloadItems({items[i].url}, {paths[i]});
    } catch (const std::exception& e) {
      SetStatusText(std::string("Download failed: ") + e.what());
    }
  }
  item_.clear();
  return !failed_;
}

}  // namespace tavimo::cli
