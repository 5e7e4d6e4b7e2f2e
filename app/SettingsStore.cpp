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
  IsPreview = settingsFile_.ReadInteger("options", "ispreview", 1) != 0;
  AutoClose = settingsFile_.ReadInteger("options", "autoclose", 1) != 0;
  SwfWithQuery = settingsFile_.ReadInteger("options", "swfwithquery", 0) != 0;
  BackgroundPool::SetMaxThreadsFrom(settingsFile_);
  MovieBytes = MovieBytesFrom(settingsFile_);

  const std::string folder = settingsFile_.ReadString("saveoption", "folder", DownloadRoot);
  if (!folder.empty()) {
    DownloadRoot = folder;
    controls_.SetRootFieldText(folder);
  }

  // A longer list keeps its first MaxCategories entries: dropping it whole would lose every
  // category at the next save, which overwrites the keys.
  const int n = std::min(settingsFile_.ReadInteger("classes", "classnum", 0), MaxCategories);
  if (n > 0) {
    std::vector<std::string> items;
    items.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      items.push_back(
          std::string(TrimControls(settingsFile_.ReadString("classes", "class" + std::to_string(i), ""))));
    }
    controls_.SetCategoryItems(items);
  }
  controls_.SetCategoryIndex(0);

  switch (settingsFile_.ReadInteger("options", "DownloadOption", 1)) {
    case 1: DownloadMode = 0; break;
    case 2: DownloadMode = 1; break;
    case 3: DownloadMode = 2; break;
    default: break;
  }
  switch (settingsFile_.ReadInteger("options", "DetectOption", 2)) {
    case 1: DetectMode = 0; break;
    case 2: DetectMode = 1; break;
    case 3: DetectMode = 2; break;
    default: break;
  }
}

void TSettingsStore::SaveSettings() {
  settingsFile_.WriteString("saveoption", "folder", DownloadRoot);
  const std::vector<std::string> items = controls_.CategoryItems();
  for (size_t i = 0; i < items.size(); ++i) {
    settingsFile_.WriteString("classes", "class" + std::to_string(i), items[i]);
  }
  settingsFile_.WriteInteger("classes", "classnum", static_cast<int>(items.size()));
  settingsFile_.WriteString("options", "ispreview", IsPreview ? "1" : "0");
  settingsFile_.WriteString("options", "autoclose", AutoClose ? "1" : "0");
  settingsFile_.WriteInteger("options", "DownloadOption", DownloadMode + 1);
  settingsFile_.WriteInteger("options", "DetectOption", DetectMode + 1);
  settingsFile_.UpdateFile();
}

bool TSettingsStore::ReadProxySettings() {
  return tavimo::ReadProxySettings(registry_, ProxyHost, ProxyPort);
}

}  // namespace tavimo
