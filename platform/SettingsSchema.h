#pragma once
// Every key of the settings file, once: its section, type, default and bounds. The window, the
// Options dialog, the background pool and tavimo-scan take names, defaults and bounds from here
// and nowhere else, so a key is spelt in this file's source only. The limits of [limits] are
// what the components bound their work by; each component keeps its own default as a public
// member, and the window and tavimo-scan set it from here when they set the component up.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavimo {

enum class Setting {
  // [options], [saveoption], [classes]: the window's own keys
  IsPreview,
  AutoClose,
  SwfWithQuery,
  DownloadOption,
  DetectOption,
  Folder,
  ClassNum,
  Class,  // class + the entry's index: class0, class1, ...
  // [limits]
  Pages,
  PageBytes,
  ScanBytes,
  UrlLineBytes,
  MovieBytes,
  HeadBytes,
  Redirects,
  CacheBytes,
  ClientIdleSeconds,
  ClientRequestSeconds,
  GetterConnectSeconds,
  GetterStallSeconds,
  Categories,
  BackgroundThreads,
  WarcPointBytes,
};
inline constexpr std::size_t kSettingCount = static_cast<std::size_t>(Setting::WarcPointBytes) + 1;

enum class SettingType {
  Flag,     // "1" or "0"; any number but 0 is on
  Integer,  // a number within the bounds
  Mode,     // a number of the setting's mode table (file values 1, 2, 3)
  Text,
};

// What a number of the file outside the bounds gives.
enum class OutOfBounds { Default, NearestBound };

enum class Unit { Count, Bytes, Seconds };

// Which front end bounds its work by a limit.
enum class UsedBy { Both, Window, Scan };

struct SettingEntry {
  Setting id;
  std::string_view section;
  std::string_view key;
  SettingType type;
  int def;  // Flag: 0 or 1; Integer: the value; Mode: the file value
  int min = 0, max = 0;
  OutOfBounds outOfBounds = OutOfBounds::Default;
  // The section the key was read from before it moved to [limits]; read when [limits] lacks it.
  std::string_view oldSection = {};
  Unit unit = Unit::Count;
  std::string_view meaning = {};  // for the limits table of the documentation
  UsedBy usedBy = UsedBy::Both;
};

// One table for the three spellings of a mode: the number the file holds, the value the window
// keeps (its radio button's index), the word of tavimo-scan's command line.
struct ModeName {
  int fileValue;
  int value;
  std::string_view word;
};

std::span<const SettingEntry> AllSettings();
const SettingEntry& EntryOf(Setting id);
// The [limits] keys, in the table's order.
std::span<const SettingEntry> LimitSettings();
const SettingEntry* FindLimit(std::string_view key);

std::span<const ModeName> ModeNames(Setting id);  // DownloadOption or DetectOption
// The kept value of a file value; `startValue` (the window's value before the file is read)
// for a number that names no mode.
int ModeOfFileValue(Setting id, int fileValue, int startValue = 0);
int FileValueOfMode(Setting id, int value);
bool IsMode(Setting id, int value);
std::optional<int> ModeOfWord(Setting id, std::string_view word);
// "cache, internet or copy-cache"
std::string ModeWords(Setting id);
// The kept value when the file has nothing: the flag, number or mode value.
int DefaultValue(Setting id);

// "64 MiB", "60 s", "100": a value as the documentation writes it.
std::string FormatValue(const SettingEntry& entry, long long value);
// The limits table of the README, one row per [limits] key.
std::string LimitsTable();

}  // namespace tavimo
