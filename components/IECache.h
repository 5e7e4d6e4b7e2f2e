#pragma once
// TIECache walks the entries of the machine's URL cache (the store over the browsers' caches
// and Tavimo's own) and raises OnEntry for each, with the entry's fields copied into
// EntryInfo. It knows nothing of what the entries are for. Its patterns, filter, groups and
// error codes are those of the Windows cache functions; it maps them onto the store's listing.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tavimo {

class UrlCacheStore;
class UrlCacheListing;
struct UrlCacheEntry;

// The entry type every entry of the store has, and the codes the find operations return.
constexpr std::uint32_t kNormalCacheEntry = 0x00000001;
constexpr std::uint32_t kErrorFileNotFound = 2;   // the cache functions are unavailable
constexpr std::uint32_t kErrorInvalidHandle = 6;  // no enumeration is open
constexpr std::uint32_t kErrorNoMoreItems = 259;

enum TFilterOption {
  NORMAL_ENTRY,
  STABLE_ENTRY,
  STICKY_ENTRY,
  COOKIE_ENTRY,
  URLHISTORY_ENTRY,
  TRACK_OFFLINE_ENTRY,
  TRACK_ONLINE_ENTRY,
  SPARSE_ENTRY,
  OCX_ENTRY
};
// A set of TFilterOption: bit n is member n.
using TFilterOptions = std::uint16_t;
constexpr TFilterOptions FilterSet(std::initializer_list<TFilterOption> members) {
  TFilterOptions s = 0;
  for (TFilterOption m : members) s = static_cast<TFilterOptions>(s | (1u << m));
  return s;
}

enum TSearchPattern { spAll, spCookies, spHistory, spUrl };

// Days since 30 December 1899, the fraction the time of day (local time).
using TDateTime = double;

struct TEntryInfo {
  std::string SourceUrlName;
  std::string LocalFileName;
  std::uint32_t EntryType = 0;
  std::uint32_t UseCount = 0;
  std::uint32_t HitRate = 0;
  std::uint32_t Size = 0;  // the low 32 bits
  TDateTime LastModified = 0;
  TDateTime Expire = 0;
  TDateTime LastAccess = 0;
  TDateTime LastSync = 0;
  std::string HeaderInfo;
  std::string FileExtension;
  std::uint32_t ExemptDelta = 0;
};

class TIECache;
using TOnEntryEvent = std::function<void(TIECache* sender, bool& cancel)>;

// Unix seconds to a local TDateTime; 0 when the time is 0 or cannot be converted.
TDateTime UnixToDateTime(std::int64_t seconds);

class TIECache {
 public:
  // The default set, as the main window lays it out.
  static constexpr TFilterOptions kDefaultFilter = FilterSet(
      {NORMAL_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY, TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY});

  // store: the cache to walk; without one the cache functions are unavailable.
  explicit TIECache(UrlCacheStore* store);
  ~TIECache();
  TIECache(const TIECache&) = delete;
  TIECache& operator=(const TIECache&) = delete;

  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions options);
  std::uint32_t FilterMask() const { return filterMask_; }
  TSearchPattern SearchPattern = spAll;
  TOnEntryEvent OnEntry;
  bool LibraryFound() const;
  const TEntryInfo& EntryInfo() const { return entryInfo_; }

  void EnumerateEntries(std::int64_t groupId);
  // 0 on success, else one of the error codes above.
  std::uint32_t FindFirstEntry(std::int64_t groupId);
  std::uint32_t FindNextEntry();
  void ClearEntryInfo();

  // True when the cache functions are there; the first success is kept for every instance.
  bool CheckLibrary() const;

 private:
  void CopyEntry(const UrlCacheEntry& e);

  UrlCacheStore* store_;
  TFilterOptions filterOptions_ = 0;
  std::uint32_t filterMask_ = 0;
  std::unique_ptr<UrlCacheListing> listing_;  // the open enumeration
  bool cancel_ = false;
  TEntryInfo entryInfo_;
};

}  // namespace tavimo
