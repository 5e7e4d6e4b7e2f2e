#pragma once
// The URL cache of this machine: a read-only view over the disk caches of the user's browsers
// (Chromium and Chrome Simple Cache folders, Firefox cache2 folders, every profile) and
// Tavimo's own download cache. It offers what the cache enumerator needs (find-first /
// find-next / close, each call first probed for the room its entry needs) and what the
// downloads need (the entries of one URL, newest first, and their bodies).
//
// Only whole successful responses count as entries: redirects, error answers and bodies cut
// short are left out, as are files still being written or damaged. Listing reads only the
// head and the tail of each file; bodies are read when they are copied, and decoded to learn
// their size only for the entries a cache search can list (".swf"), never past the movie limit.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sources/cache/CachedResponse.h"
#include "platform/MovieLimit.h"

namespace tavimo {

struct UrlCacheFolders {
  std::vector<std::string> chromium;  // Simple Cache folders ("Cache_Data")
  std::vector<std::string> firefox;   // cache2 "entries" folders
  std::string own;                    // Tavimo's download cache
  // The user's, by the XDG variables at the time of the call:
  // $XDG_CACHE_HOME/chromium/*/Cache/Cache_Data, $XDG_CACHE_HOME/google-chrome/*/Cache/Cache_Data,
  // $XDG_CACHE_HOME/mozilla/firefox/*/cache2/entries and the download cache.
  static UrlCacheFolders OfUser();
};

// The record a find call fills: this header, then its strings (each ending in NUL) in the same
// buffer. Times are unix seconds (UTC), 0 where the cache keeps none.
struct UrlCacheEntryInfo {
  std::uint32_t structSize;
  const char* sourceUrlName;
  const char* localFileName;
  std::uint32_t cacheEntryType;
  std::uint32_t useCount;
  std::uint32_t hitRate;
  std::uint32_t sizeLow;
  std::uint32_t sizeHigh;
  std::int64_t lastModifiedTime;
  std::int64_t expireTime;
  std::int64_t lastAccessTime;
  std::int64_t lastSyncTime;
  const char* headerInfo;
  std::uint32_t headerInfoSize;
  const char* fileExtension;
  std::uint32_t exemptDelta;
};

// The size of an entry whose body would have to be decoded to know it (both halves all ones).
constexpr std::uint64_t kUnknownEntrySize = ~std::uint64_t{0};

// The entry type every entry has, and the codes the find calls fail with.
constexpr std::uint32_t kNormalCacheEntry = 0x00000001;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorNoMoreItems = 259;

class UrlCacheStore {
 public:
  using Handle = std::uintptr_t;

  explicit UrlCacheStore(std::function<UrlCacheFolders()> folders = &UrlCacheFolders::OfUser);
  ~UrlCacheStore();
  UrlCacheStore(const UrlCacheStore&) = delete;
  UrlCacheStore& operator=(const UrlCacheStore&) = delete;

  // Opens an enumeration and copies its first entry into buffer (*size bytes). pattern:
  // nullptr or "" lists every entry; "Cookie:" and "Visited:" list none (there are no
  // cookies or history here); any other text lists the entries whose URL begins with it. An
  // entry is listed when filter has its type's bit; group 0 is every entry, other groups are
  // empty. Returns 0 and sets *error when it fails: kErrorInsufficientBuffer with *size set to
  // the room the entry needs (a null buffer asks just that), kErrorNoMoreItems when nothing
  // matches. A probe followed by the real call with the same arguments lists the entry once.
  Handle FindFirst(const char* pattern, std::uint32_t filter, std::int64_t group, UrlCacheEntryInfo* buffer,
                   std::uint32_t* size, std::uint32_t* error);
  // The next entry of the enumeration, as above; false and kErrorNoMoreItems at the end.
  bool FindNext(Handle handle, UrlCacheEntryInfo* buffer, std::uint32_t* size, std::uint32_t* error);
  void FindClose(Handle handle);

  // Whole content entries for url, newest first. With alsoWithQuery, also the entries whose
  // URL is url followed by "?" and a query (a cache search lists those by their cut URL).
  // Safe to call from any thread.
  std::vector<CachedResponse> Find(const std::string& url, bool alsoWithQuery);

  // Tavimo's own download cache folder, where completed downloads are kept.
  std::string OwnFolder() const { return folders_().own; }

  // The most bytes a decoded body may have: a copy past it fails (nothing is left), and a
  // listed size that needs decoding is given as kUnknownEntrySize past it. Set from the
  // moviebytes limit of the settings.
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;

  // Copies the decoded body of r into target (temporary file, renamed when whole: a failure
  // leaves an existing target as it was). False with a reason; *copied: the bytes written.
  bool CopyBody(const CachedResponse& r, const std::string& target, std::string& error,
                std::uint64_t* copied = nullptr) const;
  // The same with the newest intact one of the entries of a URL (Find's list): an entry whose
  // body turns out damaged or cut short gives way to the next; a body past MaxMovieBytes or a
  // write failure ends the copy. The reason is the newest entry's when none is intact.
  bool CopyBody(const std::vector<CachedResponse>& newestFirst, const std::string& target, std::string& error,
                std::uint64_t* copied = nullptr) const;
  // Where the decoded body of a browser entry is put when asked for (Tavimo's cache folder),
  // or the body file itself for Tavimo's own entries.
  static std::string LocalFileFor(const CachedResponse& r);
  // Writes LocalFileFor(r) unless it is there already.
  bool EnsureLocalFile(const CachedResponse& r, std::string& error) const;

  // The entry of one file (kind by folder), read and checked; std::nullopt when it is no
  // whole content entry.
  static std::optional<CachedResponse> ReadEntry(CacheKind kind, const std::string& file);

 private:
  struct Candidate {
    CacheKind kind;
    std::string file;
  };
  struct Enumeration;
  // What the index knows of one entry file: it is read again only when its time or size changes.
  struct Known {
    CacheKind kind;
    std::int64_t modified;  // nanoseconds
    std::int64_t size;
    std::string url;  // "" when the file is no whole content entry
  };

  static std::vector<Candidate> ListFiles(const UrlCacheFolders& folders);
  static bool Matches(const Enumeration& e, const CachedResponse& r);
  bool Fill(const CachedResponse& r, UrlCacheEntryInfo* buffer, std::uint32_t* size,
            std::uint32_t* error) const;
  // The decoded size as listed: see kUnknownEntrySize.
  std::uint64_t ListedSize(const CachedResponse& r) const;
  // One entry; *damaged tells whether the failure lay in the entry (so an older one may do).
  bool CopyOne(const CachedResponse& r, const std::string& target, std::string& error, std::uint64_t* copied,
               bool* damaged) const;
  // Reads candidates until one matches; false at the end.
  bool Advance(Enumeration& e);
  bool Deliver(Enumeration& e, UrlCacheEntryInfo* buffer, std::uint32_t* size, std::uint32_t* error);
  void RefreshIndexLocked();

  std::function<UrlCacheFolders()> folders_;
  std::map<Handle, std::unique_ptr<Enumeration>> open_;
  std::unique_ptr<Enumeration> probed_;  // a find-first that only asked for the room
  Handle nextHandle_ = 1;

  std::mutex indexMutex_;
  std::vector<std::pair<std::string, std::int64_t>> indexStamp_;  // folder, modification time
  bool indexed_ = false;
  std::unordered_map<std::string, Known> known_;             // by entry file
  std::unordered_multimap<std::string, std::string> byUrl_;  // URL, and URL cut at "?" -> file
};

}  // namespace tavimo
