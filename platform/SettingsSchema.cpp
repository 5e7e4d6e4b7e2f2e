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

// The keys that moved to [limits] were read from [options] as 32-bit numbers with no other
// bound; they keep that range so no file that worked stops working.
const SettingSpec kSettings[] = {
    {Setting::IsPreview, "options", "ispreview", SettingType::Flag, 1},
    {Setting::AutoClose, "options", "autoclose", SettingType::Flag, 1},
    {Setting::SwfWithQuery, "options", "swfwithquery", SettingType::Flag, 0},
    {Setting::DownloadOption, "options", "DownloadOption", SettingType::Mode, 1, 1, 3},
    {Setting::DetectOption, "options", "DetectOption", SettingType::Mode, 2, 1, 3},
    {Setting::Folder, "saveoption", "folder", SettingType::Text, 0},
    {Setting::ClassNum, "classes", "classnum", SettingType::Integer, 0, INT_MIN, INT_MAX},
    {Setting::Class, "classes", "class", SettingType::Text, 0},

    {Setting::Pages,
     "limits",
     "pages",
     SettingType::Integer,
     100,
     1,
     100000,
     OutOfBounds::Default,
     {},
     Unit::Count,
     "pages one scan fetches (the page and its frames, each address once)"},
    {Setting::PageBytes,
     "limits",
     "pagebytes",
     SettingType::Integer,
     16 * kMiB,
     1,
     INT_MAX,
     OutOfBounds::Default,
     {},
     Unit::Bytes,
     "bytes of one page kept for the scan"},
    {Setting::ScanBytes, "limits", "scanbytes", SettingType::Integer, 64 * kMiB, 1, INT_MAX,
     OutOfBounds::Default, "options", Unit::Bytes,
     "bytes of all the pages of one scan, every frame and pass (`tavimo-scan`: per job; `--warc` keeps "
     "as much again of the records it read last)"},
    {Setting::UrlLineBytes, "limits", "urllinebytes", SettingType::Integer, 64 * kKiB, 1, INT_MAX,
     OutOfBounds::Default, "options", Unit::Bytes,
     "`tavimo-scan --urls-from`: length of one line of the list", UsedBy::Scan},
    {Setting::MovieBytes, "limits", "moviebytes", SettingType::Integer, static_cast<int>(kDefaultMovieBytes),
     1, INT_MAX, OutOfBounds::Default, "options", Unit::Bytes,
     "bytes of one movie: fetched for the preview, saved once its content coding is undone (from the "
     "network, a web archive or a cache), decoded out of a browser's cache (the size a listing gives a "
     "movie; other encoded entries are listed with an unknown size)"},
    {Setting::HeadBytes,
     "limits",
     "headbytes",
     SettingType::Integer,
     64 * kKiB,
     1,
     64 * kMiB,
     OutOfBounds::Default,
     {},
     Unit::Bytes,
     "size of an answer's head (status line and headers) to Tavimo's own HTTP client (pages; downloads "
     "from the internet)"},
    {Setting::CacheBytes,
     "limits",
     "cachebytes",
     SettingType::Integer,
     512 * kMiB,
     0,
     INT_MAX,
     OutOfBounds::Default,
     {},
     Unit::Bytes,
     "size of the download cache (the oldest entries leave first; 0 keeps nothing)"},
    {Setting::ClientIdleSeconds,
     "limits",
     "clientidleseconds",
     SettingType::Integer,
     60,
     1,
     kDay,
     OutOfBounds::Default,
     {},
     Unit::Seconds,
     "Tavimo's own HTTP client: time to a complete head and longest pause in a body"},
    {Setting::ClientRequestSeconds,
     "limits",
     "clientrequestseconds",
     SettingType::Integer,
     600,
     1,
     kDay,
     OutOfBounds::Default,
     {},
     Unit::Seconds,
     "Tavimo's own HTTP client: time for a whole request"},
    {Setting::GetterConnectSeconds,
     "limits",
     "getterconnectseconds",
     SettingType::Integer,
     30,
     1,
     kDay,
     OutOfBounds::Default,
     {},
     Unit::Seconds,
     "file getter (\"DownLoad from cache\"): time to connect"},
    {Setting::GetterStallSeconds,
     "limits",
     "getterstallseconds",
     SettingType::Integer,
     60,
     1,
     kDay,
     OutOfBounds::Default,
     {},
     Unit::Seconds,
     "file getter: longest time without data"},
    {Setting::Categories,
     "limits",
     "categories",
     SettingType::Integer,
     256,
     1,
     65536,
     OutOfBounds::Default,
     {},
     Unit::Count,
     "categories of the window's list (a longer saved list keeps its first ones)",
     UsedBy::Window},
    {Setting::BackgroundThreads, "limits", "backgroundthreads", SettingType::Integer,
     BackgroundPool::kDefaultMaxThreads, BackgroundPool::kMinThreads, INT_MAX, OutOfBounds::NearestBound,
     "options", Unit::Count,
     "threads for name lookups and downloads (one pool for the program; a number below the bound "
     "counts as the bound)"},
    {Setting::WarcPointBytes,
     "limits",
     "warcpointbytes",
     SettingType::Integer,
     4 * kMiB,
     1 * kMiB,
     1 << 30,
     OutOfBounds::Default,
     {},
     Unit::Bytes,
     "`tavimo-scan --warc`, an archive gzipped whole: uncompressed bytes between two access points "
     "(32 KiB of memory each)",
     UsedBy::Scan},
};

constexpr ModeName kDownloadModes[] = {{1, 0, "cache"}, {2, 1, "internet"}, {3, 2, "copy-cache"}};
constexpr ModeName kDetectModes[] = {{1, 0, "page"}, {2, 1, "cache"}, {3, 2, "all-cache"}};

}  // namespace

std::span<const SettingSpec> AllSettings() { return kSettings; }

const SettingSpec& SpecOf(Setting id) {
  for (const SettingSpec& s : kSettings) {
    if (s.id == id) return s;
  }
  throw std::logic_error("a setting without an entry");
}

std::span<const SettingSpec> LimitSettings() {
  const auto first = std::find_if(std::begin(kSettings), std::end(kSettings),
                                  [](const SettingSpec& s) { return s.section == "limits"; });
  return {first, std::end(kSettings)};
}

const SettingSpec* FindLimit(std::string_view key) {
  for (const SettingSpec& s : LimitSettings()) {
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
  return SpecOf(id).def;
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
  const SettingSpec& s = SpecOf(id);
  return s.type == SettingType::Mode ? ModeOfFileValue(id, s.def) : s.def;
}

std::string FormatValue(const SettingSpec& spec, long long value) {
  switch (spec.unit) {
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
  for (const SettingSpec& s : LimitSettings()) {
    out += "| `" + std::string(s.key) + "` | " + std::string(s.meaning) + " | " + FormatValue(s, s.def) +
           " | " + FormatValue(s, s.min) + " – " + FormatValue(s, s.max) + " |\n";
  }
  return out;
}

}  // namespace tavimo
