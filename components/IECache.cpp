#include "components/IECache.h"

#include <ctime>
#include <memory>

#include "sources/cache/UrlCacheStore.h"

namespace tavimo {

namespace {

constexpr std::uint32_t kFlagValues[] = {0x00000001, 0x00000002, 0x00000004, 0x00100000, 0x00200000,
                                         0x00000010, 0x00000020, 0x00010000, 0x00020000};

const char* PatternOf(TSearchPattern p) {
  switch (p) {
    case spAll: return nullptr;  // no pattern at all
    case spCookies: return "Cookie:";
    case spHistory: return "Visited:";
    case spUrl: return "";
  }
  return nullptr;
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

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

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

TIECache::~TIECache() {
  if (handle_ && store_) store_->FindClose(handle_);
}

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

void TIECache::CopyEntry(const void* buffer) {
  const auto& e = *static_cast<const UrlCacheEntryInfo*>(buffer);
  entryInfo_.SourceUrlName = Text(e.sourceUrlName);
  entryInfo_.LocalFileName = Text(e.localFileName);
  entryInfo_.EntryType = e.cacheEntryType;
  entryInfo_.UseCount = e.useCount;
  entryInfo_.HitRate = e.hitRate;
  entryInfo_.Size = e.sizeLow;
  entryInfo_.LastModified = UnixToDateTime(e.lastModifiedTime);
  entryInfo_.Expire = UnixToDateTime(e.expireTime);
  entryInfo_.LastAccess = UnixToDateTime(e.lastAccessTime);
  entryInfo_.LastSync = UnixToDateTime(e.lastSyncTime);
  entryInfo_.HeaderInfo = Text(e.headerInfo);  // up to its first NUL
  entryInfo_.FileExtension = Text(e.fileExtension);
  entryInfo_.ExemptDelta = e.exemptDelta;
}

// One probe for the room the entry needs, one real call with exactly that room.
std::uint32_t TIECache::FindFirstEntry(std::int64_t groupId) {
  if (!CheckLibrary() || !store_) return kErrorFileNotFound;
  handle_ = 0;
  std::uint32_t size = 0, error = 0;
  store_->FindFirst(PatternOf(SearchPattern), filterMask_, groupId, nullptr, &size, &error);
  std::unique_ptr<std::uint64_t[]> buffer;  // 8-byte aligned for the record
  if (size > 0) buffer.reset(new std::uint64_t[(size + 7) / 8]);
  auto* info = reinterpret_cast<UrlCacheEntryInfo*>(buffer.get());
  handle_ = store_->FindFirst(PatternOf(SearchPattern), filterMask_, groupId, info, &size, &error);
  if (handle_ == 0) return error;
  CopyEntry(info);
  return 0;
}

std::uint32_t TIECache::FindNextEntry() {
  if (!CheckLibrary() || !store_) return kErrorFileNotFound;
  std::uint32_t size = 0, error = 0;
  store_->FindNext(handle_, nullptr, &size, &error);
  std::unique_ptr<std::uint64_t[]> buffer;
  if (size > 0) buffer.reset(new std::uint64_t[(size + 7) / 8]);
  auto* info = reinterpret_cast<UrlCacheEntryInfo*>(buffer.get());
  if (!store_->FindNext(handle_, info, &size, &error)) return error;
  CopyEntry(info);
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
  if (handle_) store_->FindClose(handle_);
  handle_ = 0;
}

}  // namespace tavimo
