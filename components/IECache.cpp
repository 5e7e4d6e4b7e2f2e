#include "components/IECache.h"

#include <ctime>
#include <memory>
#include <optional>

#include "sources/cache/UrlCacheStore.h"

namespace tavimo {

namespace {

constexpr std::uint32_t kFlagValues[] = {0x00000001, 0x00000002, 0x00000004, 0x00100000, 0x00200000,
                                         0x00000010, 0x00000020, 0x00010000, 0x00020000};

// Whether a search can find anything in the store: it keeps content entries only, all of the
// normal type and in no group. No pattern (spAll) and the empty one (spUrl) take every entry;
// there are no cookies or history to match the other two.
bool ListsEntries(TSearchPattern pattern, std::uint32_t filterMask, std::int64_t group) {
  return (pattern == spAll || pattern == spUrl) && (filterMask & kNormalCacheEntry) != 0 && group == 0;
}

// The shared result of the check: once the cache functions were found they stay found.
bool libraryFound = false;

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The record's strings end at their first NUL, as the cache functions' C strings do.
std::string Text(const std::string& s) { return s.substr(0, s.find('\0')); }

}  // namespace

TDateTime UnixToDateTime(std::int64_t seconds) {
  if (seconds == 0) return 0;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return 0;
  const std::int64_t days = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                          static_cast<unsigned>(local.tm_mday)) -
                            DaysFromCivil(1899, 12, 30);
  const double dayPart = (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
  return static_cast<double>(days) + (days >= 0 ? dayPart : -dayPart);
}

TIECache::TIECache(UrlCacheStore* store) : store_(store) {
  ClearEntryInfo();
  SetFilterOptions(kDefaultFilter);
}

TIECache::~TIECache() = default;

void TIECache::SetFilterOptions(TFilterOptions options) {
  filterOptions_ = options;
  filterMask_ = 0;
  for (int m = NORMAL_ENTRY; m <= OCX_ENTRY; ++m) {
    if (options & (1u << m)) filterMask_ += kFlagValues[m];
  }
}

bool TIECache::CheckLibrary() const {
  if (libraryFound) return true;
  libraryFound = store_ != nullptr;
  return libraryFound;
}

bool TIECache::LibraryFound() const { return CheckLibrary(); }

void TIECache::ClearEntryInfo() { entryInfo_ = TEntryInfo{}; }

void TIECache::CopyEntry(const UrlCacheEntry& e) {
  entryInfo_.SourceUrlName = Text(e.url);
  entryInfo_.LocalFileName = Text(e.localFile);
  entryInfo_.EntryType = kNormalCacheEntry;
  entryInfo_.UseCount = e.useCount;
  entryInfo_.HitRate = 0;
  entryInfo_.Size = static_cast<std::uint32_t>(e.size & 0xffffffffu);
  entryInfo_.LastModified = UnixToDateTime(e.lastModified);
  entryInfo_.Expire = UnixToDateTime(e.expires);
  entryInfo_.LastAccess = UnixToDateTime(e.lastAccess);
  entryInfo_.LastSync = UnixToDateTime(e.lastSync);
  entryInfo_.HeaderInfo = Text(e.headers);
  entryInfo_.FileExtension = Text(e.extension);
  entryInfo_.ExemptDelta = 0;
}

std::uint32_t TIECache::FindFirstEntry(std::int64_t groupId) {
  if (!CheckLibrary() || !store_) return kErrorFileNotFound;
  listing_.reset();
  if (!ListsEntries(SearchPattern, filterMask_, groupId)) return kErrorNoMoreItems;
  auto listing = std::make_unique<UrlCacheListing>(store_->Entries());
  const std::optional<UrlCacheEntry> first = listing->Next();
  if (!first) return kErrorNoMoreItems;
  listing_ = std::move(listing);
  CopyEntry(*first);
  return 0;
}

std::uint32_t TIECache::FindNextEntry() {
  if (!CheckLibrary() || !store_) return kErrorFileNotFound;
  if (!listing_) return kErrorInvalidHandle;
  const std::optional<UrlCacheEntry> next = listing_->Next();
  if (!next) return kErrorNoMoreItems;
  CopyEntry(*next);
  return 0;
}

void TIECache::EnumerateEntries(std::int64_t groupId) {
  if (!CheckLibrary() || !store_) return;
  cancel_ = false;
  std::uint32_t code = FindFirstEntry(groupId);
  if (code == 0 && OnEntry) OnEntry(this, cancel_);
  while (code == 0 && !cancel_) {
    code = FindNextEntry();
    if (code == 0 && OnEntry) OnEntry(this, cancel_);
  }
  listing_.reset();
}

}  // namespace tavimo
