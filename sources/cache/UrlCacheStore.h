#pragma once
// The URL cache of this machine: a read-only view over the disk caches of the user's browsers
// (Chromium and Chrome Simple Cache folders, Firefox cache2 folders, every profile) and
// Tavimo's own download cache. It offers what the cache enumerator and the cache search need (a
// pass over the entries, with a filter by URL) and what the downloads need (the entries of one
// URL, newest first, and their bodies).
//
// Only whole successful responses count as entries: redirects, error answers and bodies cut
// short are left out, as are files still being written or damaged. Listing reads only the
// head and the tail of each file; bodies are read when they are copied, and decoded to learn
// their size only for the entries a cache search can list (".swf"), never past the movie limit.
#include <cstdint>
#include <functional>
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

// One entry as a listing gives it. Times are unix seconds (UTC), 0 where the cache keeps none.
struct UrlCacheEntry {
  std::string url;
  std::string localFile;   // LocalFileFor: where the decoded body is put when asked for
  std::string headers;     // the response head with its closing blank line
  std::string extension;   // of the URL's last path segment ("swf"), "" when it has no dot
  std::uint64_t size = 0;  // of the decoded body; see kUnknownEntrySize
  std::uint32_t useCount = 0;
  std::int64_t lastModified = 0;  // the Last-Modified header
  std::int64_t expires = 0;       // when the entry stops being fresh by its headers
  std::int64_t lastAccess = 0;
  std::int64_t lastSync = 0;  // when the response arrived
};

// The size of an entry whose body would have to be decoded to know it.
constexpr std::uint64_t kUnknownEntrySize = ~std::uint64_t{0};

// Which entries a listing gives, by their URL; an empty filter takes every one. Only the
// entries it takes are worked out in full (local file, decoded size).
using UrlCacheFilter = std::function<bool(const std::string& url)>;

class UrlCacheStore;

// One pass over the store's entries, in the cache's order: the entry files are listed when the
// pass starts, each is read when the pass reaches it.
class UrlCacheListing {
 public:
  // The next entry the filter takes; nothing at the end.
  std::optional<UrlCacheEntry> Next();

 private:
  friend class UrlCacheStore;
  struct Candidate {
    CacheKind kind;
    std::string file;
  };
  UrlCacheListing(const UrlCacheStore& store, UrlCacheFilter filter, std::vector<Candidate> files)
      : store_(&store), filter_(std::move(filter)), files_(std::move(files)) {}

  const UrlCacheStore* store_;
  UrlCacheFilter filter_;
  std::vector<Candidate> files_;
  std::size_t next_ = 0;
};

class UrlCacheStore {
 public:
  explicit UrlCacheStore(std::function<UrlCacheFolders()> folders = &UrlCacheFolders::OfUser);
  ~UrlCacheStore();
  UrlCacheStore(const UrlCacheStore&) = delete;
  UrlCacheStore& operator=(const UrlCacheStore&) = delete;

  // The whole content entries whose URL filter takes.
  UrlCacheListing Entries(UrlCacheFilter filter = {}) const;

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
  friend class UrlCacheListing;
  using Candidate = UrlCacheListing::Candidate;
  // What the index knows of one entry file: it is read again only when its time or size changes.
  struct Known {
    CacheKind kind;
    std::int64_t modified;  // nanoseconds
    std::int64_t size;
    std::string url;  // "" when the file is no whole content entry
  };

  static std::vector<Candidate> ListFiles(const UrlCacheFolders& folders);
  // The listing's fields of one entry.
  UrlCacheEntry EntryOf(const CachedResponse& r) const;
  // The decoded size as listed: see kUnknownEntrySize.
  std::uint64_t ListedSize(const CachedResponse& r) const;
  // One entry; *damaged tells whether the failure lay in the entry (so an older one may do).
  bool CopyOne(const CachedResponse& r, const std::string& target, std::string& error, std::uint64_t* copied,
               bool* damaged) const;
  void RefreshIndexLocked();

  std::function<UrlCacheFolders()> folders_;

  std::mutex indexMutex_;
  std::vector<std::pair<std::string, std::int64_t>> indexStamp_;  // folder, modification time
  bool indexed_ = false;
  std::unordered_map<std::string, Known> known_;             // by entry file
  std::unordered_multimap<std::string, std::string> byUrl_;  // URL, and URL cut at "?" -> file
};

}  // namespace tavimo
