#pragma once
// One page scan without a window: the window's scan (passes, frames, bounds, detection option)
// with the item list, the status foot and the cache search kept in memory.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/ItemPrinter.h"
#include "detect/ItemSink.h"
#include "detect/PageScan.h"

namespace tavimo {
class THttpCli;
class TMemoLines;
class RegistrySource;
class SettingValues;
}  // namespace tavimo

namespace tavimo::cli {

struct ScanOutcome {
  std::vector<FoundItem> items;
  std::string failure;  // "" when every page arrived; else what the window's status says failed
};

class HeadlessScan : public ScanForm, public ItemSink {
 public:
  // detectMode as the settings' DetectMode; cachedSwfUrls: the URL cache's entries that end in
  // ".swf" once cut at "?", in the cache's order (read once per run). registry: the run's, which
  // does not change while it lasts (its proxy is read once).
  HeadlessScan(int detectMode, const std::vector<std::string>& cachedSwfUrls, const RegistrySource& registry,
               bool withQuery);
  ~HeadlessScan() override;

  ScanOutcome Scan(const std::string& address);
  // The settings' [limits] on the scan and its client.
  void SetLimits(const SettingValues& limits);

  // ScanForm
  std::string AddressText() const override { return address_; }
  int DetectMode() const override { return detectMode_; }
  void SetBusyTimerEnabled(bool) override {}
  void SetGoEnabled(bool) override {}
  void StartCacheSearch(bool listAllCache) override;
  void ScanFinished(bool anyPageFailed) override { anyFailed_ = anyPageFailed; }
  void SetStatusText(const std::string& text) override { status_ = text; }
  void SetStatusVisible(bool) override {}
  void SetGaugeProgress(int) override {}
  int GaugeProgress() const override { return 0; }
  bool ReadProxySettings(std::string& host, std::string& port) override;

  // ItemSink
  void Clear() override { items_.clear(); }
  void AppendItem(const std::string& url, const std::string& saveAsName) override;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Url(int row) const override { return items_[static_cast<size_t>(row)].url; }

 private:
  int detectMode_;
  const std::vector<std::string>& cachedSwfUrls_;
  const RegistrySource& registry_;
  std::string address_;
  std::string status_;
  bool anyFailed_ = false;
  bool fromCache_ = false;
  std::vector<FoundItem> items_;
  struct Proxy {
    bool found = false;
    std::string host, port;
  };
  std::optional<Proxy> proxy_;
  std::unique_ptr<TMemoLines> memo_;
  std::unique_ptr<THttpCli> client_;
  std::unique_ptr<TPageScan> scan_;
};

}  // namespace tavimo::cli
