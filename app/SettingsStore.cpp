#include "app/SettingsStore.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/BackgroundPool.h"
#include "platform/Paths.h"
#include "base/TextUtils.h"

namespace tavimo {
namespace {}  // namespace

std::vector<std::string> DefaultCategories() { return {"--", "Mtv", "Games", "Fun"}; }

PlainSettingsControls::PlainSettingsControls()
    : Items(DefaultCategories()), RootFieldText(DefaultDownloadRoot()) {}

TSettingsStore::TSettingsStore(std::string fileName, const RegistrySource& registry,
                               SettingsControls& controls)
    : DownloadRoot(DefaultDownloadRoot()),
      settingsFile_(std::move(fileName)),
      registry_(registry),
      controls_(controls) {}

void TSettingsStore::EnsureDefaultRoot() const {
  // One level only: a missing download folder means the desktop is not set up as expected,
  // and building a whole path for it would plant folders where the user never asked.
  ::mkdir(DefaultRootFolder().c_str(), 0700);
}

void TSettingsStore::LoadSettings() {
  Values = SettingValues::Read(settingsFile_);
  IsPreview = Values.On(Setting::IsPreview);
  AutoClose = Values.On(Setting::AutoClose);
  SwfWithQuery = Values.On(Setting::SwfWithQuery);
  MaxCategories = Values.Get(Setting::Categories);
  BackgroundPool::SetMaxThreads(Values.Get(Setting::BackgroundThreads));

  const std::string folder = SettingValues::ReadText(settingsFile_, Setting::Folder, DownloadRoot);
  if (!folder.empty()) {
    DownloadRoot = folder;
    controls_.SetRootFieldText(folder);
  }

  // A longer list keeps its first MaxCategories entries: dropping it whole would lose every
  // category at the next save, which overwrites the keys.
  const int n = std::min(Values.Get(Setting::ClassNum), MaxCategories);
  if (n > 0) {
    std::vector<std::string> items;
    items.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      items.push_back(std::string(
          TrimControls(SettingValues::ReadText(settingsFile_, Setting::Class, "", std::to_string(i)))));
    }
    controls_.SetCategoryItems(items);
  }
  controls_.SetCategoryIndex(0);

  // A number that names no mode leaves the start value (0).
  DownloadMode = Values.Get(Setting::DownloadOption);
  DetectMode = Values.Get(Setting::DetectOption);
}

void TSettingsStore::SaveSettings() {
  SettingValues::WriteText(settingsFile_, Setting::Folder, DownloadRoot);
  const std::vector<std::string> items = controls_.CategoryItems();
  for (size_t i = 0; i < items.size(); ++i) {
    SettingValues::WriteText(settingsFile_, Setting::Class, items[i], std::to_string(i));
  }
  SettingValues::Write(settingsFile_, Setting::ClassNum, static_cast<int>(items.size()));
  SettingValues::Write(settingsFile_, Setting::IsPreview, IsPreview);
  SettingValues::Write(settingsFile_, Setting::AutoClose, AutoClose);
  SettingValues::Write(settingsFile_, Setting::DownloadOption, DownloadMode);
  SettingValues::Write(settingsFile_, Setting::DetectOption, DetectMode);
  settingsFile_.UpdateFile();
}

bool TSettingsStore::ReadProxySettings() {
  return tavimo::ReadProxySettings(registry_, ProxyHost, ProxyPort);
}

}  // namespace tavimo
