#include "cli/HeadlessDownload.h"

#include "download/ComponentLimits.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "compat/Registry.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo::cli {

HeadlessDownload::HeadlessDownload(std::string saveDir, std::string category, int downloadMode,
                                   const RegistrySource& registry, std::FILE* report, bool bar,
                                   BatchNames& names)
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
  driver_->SharedNames = &names;
}

HeadlessDownload::~HeadlessDownload() = default;

void HeadlessDownload::SetLimits(const SettingValues& limits) {
  tavimo::SetLimits(limits, *getter_);
  tavimo::SetLimits(limits, *client_);
  tavimo::SetLimits(limits, *driver_);
  tavimo::SetLimits(limits, *store_);
}

bool HeadlessDownload::ReadProxySettings(std::string& host, std::string& port) {
  return tavimo::ReadProxySettings(registry_, host, port);
}

void HeadlessDownload::SetStatusText(const std::string& text) {
  if (bar_) std::fputs("\r\033[K", report_);
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
  std::string error;
  const std::string folder = driver_->ReadyItemFolder(error);
  if (folder.empty()) {
    std::fprintf(report_, "%s\n", error.c_str());
    return false;
  }
  // One item per batch, so each line names its item; the names are numbered over the run.
  bool failed = false;
  for (const FoundItem& item : items) {
    item_ = item.name;
    try {
      failed |= !driver_->DownloadItems({item.url}, {folder + item.name}).failures.empty();
    } catch (const std::exception& e) {
      SetStatusText(std::string("Download failed: ") + e.what());
      failed = true;
    }
  }
  item_.clear();
  return !failed;
}

}  // namespace tavimo::cli
