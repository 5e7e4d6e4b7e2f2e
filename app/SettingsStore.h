#pragma once
// The user settings: read once while the main window is created, written once when it closes.
#include <string>
#include <vector>

#include "platform/IniFile.h"
#include "platform/SettingValues.h"
#include "compat/Registry.h"

namespace tavimo {

// The two controls whose content the settings file stores: the category list (lstclass) and
// the download root field (edtdowndir). The main window implements it; tests use the plain one.
class SettingsControls {
 public:
  virtual ~SettingsControls() = default;
  virtual std::vector<std::string> CategoryItems() const = 0;
  virtual void SetCategoryItems(const std::vector<std::string>& items) = 0;
  virtual void SetCategoryIndex(int index) = 0;
  virtual void SetRootFieldText(const std::string& text) = 0;
};

// The categories a fresh install shows.
std::vector<std::string> DefaultCategories();

class PlainSettingsControls : public SettingsControls {
 public:
  PlainSettingsControls();
  std::vector<std::string> CategoryItems() const override { return Items; }
  void SetCategoryItems(const std::vector<std::string>& items) override { Items = items; }
  void SetCategoryIndex(int index) override { Index = index; }
  void SetRootFieldText(const std::string& text) override { RootFieldText = text; }

  std::vector<std::string> Items;
  int Index = -1;
  std::string RootFieldText;
};

class TSettingsStore {
 public:
  TSettingsStore(std::string fileName, const RegistrySource& registry, SettingsControls& controls);

  // Creates the default root folder when missing, one level only (its parent must exist);
  // failures are ignored.
  void EnsureDefaultRoot() const;
  void LoadSettings();
  // Raises EIniFileException "Unable to write to %s" when the file cannot be written.
  void SaveSettings();
  // Reads the browser proxy into ProxyHost/ProxyPort; true when a server string was read.
  // Raises ERegistryException when "ProxyEnable" is absent or not an integer.
  bool ReadProxySettings();

  bool IsPreview = true;
  bool AutoClose = true;
  int DownloadMode = 0;  // 0 file getter (cache allowed), 1 own HTTP client, 2 copy from cache
  int DetectMode = 0;    // 0 page only, 1 page and the host's cache entries, 2 whole cache
  // swfwithquery: scans also list references with a query or fragment after ".swf" (off by
  // default; read only: the key is the user's, kept as written).
  bool SwfWithQuery = false;
  std::string DownloadRoot;
  // The most categories the list holds (the categories limit, default 256): adding stops
  // there, and a longer saved list is cut to its first MaxCategories entries when loaded.
  int MaxCategories = 256;
  // Every number LoadSettings read, the [limits] the window sets its components up with
  // included (read only: the file keeps them as the user wrote them).
  SettingValues Values;
  std::string ProxyHost;
  std::string ProxyPort;

  TIniFile& SettingsFile() { return settingsFile_; }

 private:
  TIniFile settingsFile_;
  const RegistrySource& registry_;
  SettingsControls& controls_;
};

}  // namespace tavimo
