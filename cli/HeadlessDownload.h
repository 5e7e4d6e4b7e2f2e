#pragma once
// Saving the items of one scanned page as the Download button does, without a window: into
// the save folder (and the category's sub-folder below it), by the download option, with the
// window's status texts as lines and its gauge as a progress bar on a terminal. All the pages of
// one run are one batch for the numbering of equal names: the jobs of a run share `names`.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/ItemPrinter.h"
#include "download/DownloadDriver.h"

namespace tavimo {
class RegistrySource;
class SettingValues;
class THTTPGet;
class THttpCli;
class UrlCacheStore;
}  // namespace tavimo

namespace tavimo::cli {

class HeadlessDownload : public DownloadForm {
 public:
  // report: where the status lines go (standard error); bar: draw a progress bar there.
  HeadlessDownload(std::string saveDir, std::string category, int downloadMode,
                   const RegistrySource& registry, std::FILE* report, bool bar, BatchNames& names);
  ~HeadlessDownload() override;

  // Saves the items; false when any of them failed.
  bool Save(const std::vector<FoundItem>& items);
  // The settings' [limits] on the getter, the client, the driver and the cache copies.
  void SetLimits(const SettingValues& limits);

  // DownloadForm
  void ShowMessage(const std::string& caption, const std::string& text) override {
    std::fprintf(report_, "%s: %s\n", caption.c_str(), text.c_str());
  }
  std::string RootFieldText() const override { return saveDir_; }
  void SetDownloadRoot(const std::string&) override {}
  std::string SelectedCategory() const override { return category_.empty() ? "--" : category_; }
  int ItemCount() const override { return 0; }
  bool ItemChecked(int) const override { return true; }
  std::string ItemUrl(int) const override { return {}; }
  std::string ItemSaveName(int) const override { return {}; }
  int FirstSelectedItem() const override { return -1; }
  int DownloadMode() const override { return mode_; }
  bool AutoClose() const override { return false; }
  void HideAndClear() override {}
  void SetStatusText(const std::string& text) override;
  void SetStatusVisible(bool) override {}
  void SetGaugeProgress(int value) override;
  int GaugeProgress() const override { return gauge_; }
  bool ReadProxySettings(std::string& host, std::string& port) override;

 private:
  std::string saveDir_, category_;
  int mode_;
  const RegistrySource& registry_;
  std::FILE* report_;
  bool bar_;
  int gauge_ = 0;
  std::string item_;  // the item being saved, for the bar
  std::unique_ptr<UrlCacheStore> store_;
  std::unique_ptr<THTTPGet> getter_;
  std::unique_ptr<THttpCli> client_;
  std::unique_ptr<TDownloadDriver> driver_;
};

}  // namespace tavimo::cli
