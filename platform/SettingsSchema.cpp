#include "platform/SettingsSchema.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "platform/BackgroundPool.h"
#include "platform/MovieLimit.h"

namespace tavimo {
namespace {

constexpr int kKiB = 1 << 10;
constexpr int kMiB = 1 << 20;
constexpr int kDay = 24 * 60 * 60;

constexpr SettingEntry Key(Setting id, std::string_view section, std::string_view key, SettingType type,
                           int def, int min = 0, int max = 0) {
  return {id, section, key, type, def, min, max};
}

constexpr SettingEntry Limit(Setting id, std::string_view key, int def, int min, int max, Unit unit,
                             std::string_view meaning, UsedBy usedBy = UsedBy::Both) {
  SettingEntry s{id, "limits", key, SettingType::Integer, def, min, max};
  s.unit = unit;
  s.meaning = meaning;
  s.usedBy = usedBy;
  return s;
}

// A key that lived in [options] before [limits]: read from there when [limits] lacks it. They
// were read as 32-bit numbers with no other bound and keep that range, so no file that worked
// stops working.
constexpr SettingEntry Moved(SettingEntry s) {
  s.oldSection = "options";
  return s;
}

constexpr SettingEntry NearestBound(SettingEntry s) {
  s.outOfBounds = OutOfBounds::NearestBound;
  return s;
}

const SettingEntry kSettings[] = {
    Key(Setting::IsPreview, "options", "ispreview", SettingType::Flag, 1),
    Key(Setting::AutoClose, "options", "autoclose", SettingType::Flag, 1),
    Key(Setting::SwfWithQuery, "options", "swfwithquery", SettingType::Flag, 0),
    Key(Setting::DownloadOption, "options", "DownloadOption", SettingType::Mode, 1, 1, 3),
    Key(Setting::DetectOption, "options", "DetectOption", SettingType::Mode, 2, 1, 3),
    Key(Setting::Folder, "saveoption", "folder", SettingType::Text, 0),
    Key(Setting::ClassNum, "classes", "classnum", SettingType::Integer, 0, INT_MIN, INT_MAX),
    Key(Setting::Class, "classes", "class", SettingType::Text, 0),

    Limit(Setting::Pages, "pages", 100, 1, 100000, Unit::Count,
          "pages one scan fetches (the page and its frames, each address once)"),
    Limit(Setting::PageBytes, "pagebytes", 16 * kMiB, 1, INT_MAX, Unit::Bytes,
          "bytes of one page kept for the scan"),
    Moved(Limit(Setting::ScanBytes, "scanbytes", 64 * kMiB, 1, INT_MAX, Unit::Bytes,
                "bytes of all the pages of one scan, every frame and pass (`tavimo-scan`: per job; `--warc` "
                "keeps as much again of the records it read last)")),
    Moved(Limit(Setting::UrlLineBytes, "urllinebytes", 64 * kKiB, 1, INT_MAX, Unit::Bytes,
                "`tavimo-scan --urls-from`: length of one line of the list", UsedBy::Scan)),
    Moved(Limit(
        Setting::MovieBytes, "moviebytes", static_cast<int>(kDefaultMovieBytes), 1, INT_MAX, Unit::Bytes,
        "bytes of one movie: fetched for the preview, saved once its content coding is undone (from the "
        "network, a web archive or a cache), decoded out of a browser's cache (the size a listing gives "
        "a movie; other encoded entries are listed with an unknown size)")),
    Limit(Setting::HeadBytes, "headbytes", 64 * kKiB, 1, 64 * kMiB, Unit::Bytes,
          "size of an answer's head (status line and headers): Tavimo's own HTTP client (pages; downloads "
          "from the internet) and the file getter (the heads of one download together)"),
    Limit(Setting::Redirects, "redirects", 10, 0, 100, Unit::Count,
          "redirections Tavimo's own HTTP client follows for one request"),
    Limit(Setting::CacheBytes, "cachebytes", 512 * kMiB, 0, INT_MAX, Unit::Bytes,
          "size of the download cache (the oldest entries leave first; 0 keeps nothing)"),
    Limit(Setting::ClientIdleSeconds, "clientidleseconds", 60, 1, kDay, Unit::Seconds,
          "Tavimo's own HTTP client: time to a complete head and longest pause in a body"),
    Limit(Setting::ClientRequestSeconds, "clientrequestseconds", 600, 1, kDay, Unit::Seconds,
          "Tavimo's own HTTP client: time for a whole request"),
    Limit(Setting::GetterConnectSeconds, "getterconnectseconds", 30, 1, kDay, Unit::Seconds,
          "file getter (\"DownLoad from cache\"): time to connect"),
    Limit(Setting::GetterStallSeconds, "getterstallseconds", 60, 1, kDay, Unit::Seconds,
          "file getter: longest time without data"),
    Limit(Setting::Categories, "categories", 256, 1, 65536, Unit::Count,
          "categories of the window's list (a longer saved list keeps its first ones)", UsedBy::Window),
    // Below the bound counts as the bound, as the pool has always taken it.
    NearestBound(
        Moved(Limit(Setting::BackgroundThreads, "backgroundthreads", BackgroundPool::kDefaultMaxThreads,
                    BackgroundPool::kMinThreads, INT_MAX, Unit::Count,
                    "threads for name lookups and downloads (one pool for the program; a number "
                    "below the bound counts as the bound)"))),
    Limit(Setting::WarcPointBytes, "warcpointbytes", 4 * kMiB, 1 * kMiB, 1 << 30, Unit::Bytes,
          "`tavimo-scan --warc`, an archive gzipped whole: uncompressed bytes between two access points "
          "(32 KiB of memory each)",
          UsedBy::Scan),
};

constexpr ModeName kDownloadModes[] = {{1, 0, "cache"}, {2, 1, "internet"}, {3, 2, "copy-cache"}};
constexpr ModeName kDetectModes[] = {{1, 0, "page"}, {2, 1, "cache"}, {3, 2, "all-cache"}};

}  // namespace

std::span<const SettingEntry> AllSettings() { return kSettings; }

const SettingEntry& EntryOf(Setting id) {
  for (const SettingEntry& s : kSettings) {
    if (s.id == id) return s;
  }
  throw std::logic_error("a setting without an entry");
}

std::span<const SettingEntry> LimitSettings() {
  const auto first = std::find_if(std::begin(kSettings), std::end(kSettings),
                                  [](const SettingEntry& s) { return s.section == "limits"; });
  return {first, std::end(kSettings)};
}

const SettingEntry* FindLimit(std::string_view key) {
  for (const SettingEntry& s : LimitSettings()) {
    if (s.key == key) return &s;
  }
  return nullptr;
}

std::span<const ModeName> ModeNames(Setting id) {
  if (id == Setting::DownloadOption) return kDownloadModes;
  if (id == Setting::DetectOption) return kDetectModes;
  return {};
}

int ModeOfFileValue(Setting id, int fileValue, int startValue) {
  for (const ModeName& m : ModeNames(id)) {
    if (m.fileValue == fileValue) return m.value;
  }
  return startValue;
}

int FileValueOfMode(Setting id, int value) {
  for (const ModeName& m : ModeNames(id)) {
    if (m.value == value) return m.fileValue;
  }
  return EntryOf(id).def;
}

bool IsMode(Setting id, int value) {
  const std::span<const ModeName> names = ModeNames(id);
  return std::any_of(names.begin(), names.end(), [value](const ModeName& m) { return m.value == value; });
}

std::optional<int> ModeOfWord(Setting id, std::string_view word) {
  for (const ModeName& m : ModeNames(id)) {
    if (m.word == word) return m.value;
  }
  return std::nullopt;
}

std::string ModeWords(Setting id) {
  const std::span<const ModeName> names = ModeNames(id);
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
    out += names[i].word;
  }
  return out;
}

int DefaultValue(Setting id) {
  const SettingEntry& s = EntryOf(id);
  return s.type == SettingType::Mode ? ModeOfFileValue(id, s.def) : s.def;
}

std::string FormatValue(const SettingEntry& entry, long long value) {
  switch (entry.unit) {
    case Unit::Seconds: return std::to_string(value) + " s";
    case Unit::Bytes:
      for (const auto& [size, name] :
           {std::pair{1LL << 30, " GiB"}, {1LL << 20, " MiB"}, {1LL << 10, " KiB"}}) {
        if (value >= size && value % size == 0) return std::to_string(value / size) + name;
      }
      return std::to_string(value);
    case Unit::Count: break;
  }
  return std::to_string(value);
}

std::string LimitsTable() {
  std::string out = "| key | limit | default | from – to |\n|---|---|---|---|\n";
  for (const SettingEntry& s : LimitSettings()) {
    out += "| `" + std::string(s.key) + "` | " + std::string(s.meaning) + " | " + FormatValue(s, s.def) +
           " | " + FormatValue(s, s.min) + " – " + FormatValue(s, s.max) + " |\n";
  }
  return out;
}

}  // namespace tavimo
