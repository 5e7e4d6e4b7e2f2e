#pragma once
// The main window as the page scan and the download driver see it: its status foot, address
// field, item list, category list and settings, behind the narrow interfaces those
// collaborators define.
#include "detect/PageScan.h"
#include "download/DownloadDriver.h"

namespace tavimo {

class Dialogs;
class TFrmTavimo;

class TFrmTavimoPorts : public ScanForm, public DownloadForm {
 public:
  TFrmTavimoPorts(TFrmTavimo& form, Dialogs& dialogs) : form_(form), dialogs_(dialogs) {}

  // FormStatus
  void SetStatusText(const std::string& text) override;
  void SetStatusVisible(bool visible) override;
  void SetGaugeProgress(int value) override;
  int GaugeProgress() const override;
  bool ReadProxySettings(std::string& host, std::string& port) override;

  // ScanForm
  std::string AddressText() const override;
  int DetectMode() const override;
  void SetBusyTimerEnabled(bool enabled) override;
  void SetGoEnabled(bool enabled) override;
  void StartCacheSearch(bool listAllCache) override;
  void ScanFinished(bool anyPageFailed) override;

  // DownloadForm
  void ShowMessage(const std::string& caption, const std::string& text) override;
  std::string RootFieldText() const override;
  void SetDownloadRoot(const std::string& root) override;
  std::string SelectedCategory() const override;
  int ItemCount() const override;
  bool ItemChecked(int row) const override;
  std::string ItemUrl(int row) const override;
  std::string ItemSaveName(int row) const override;
  int FirstSelectedItem() const override;
  int DownloadMode() const override;
  bool AutoClose() const override;
  void HideAndClear() override;

 private:
  TFrmTavimo& form_;
  Dialogs& dialogs_;  // the window's
};

}  // namespace tavimo
