#include "sources/cache/UrlCacheStore.h"

#include <dirent.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/AtomicFile.h"
#include "base/http/HttpHead.h"
#include "sources/cache/CacheFreshness.h"
#include "sources/cache/DownloadCache.h"
#include "platform/Paths.h"
#include "base/TextUtils.h"

namespace tavimo {

namespace {

bool IsHex(const std::string& s, size_t from, size_t n) {
  return s.size() >= from + n && std::all_of(s.begin() + from, s.begin() + from + n, IsAsciiHexDigit);
}

// Does this folder entry name look like an entry file of the cache?
bool IsEntryName(CacheKind kind, const std::string& name) {
  switch (kind) {
    case CacheKind::Chromium:  // "<16 hex>_0"; "_1" and "_s" files hold other streams
      return name.size() == 18 && IsHex(name, 0, 16) && name.compare(16, 2, "_0") == 0;
    case CacheKind::Firefox:  // the SHA-1 of the key in hex
      return name.size() == 40 && IsHex(name, 0, 40);
    case CacheKind::Tavimo: return name.size() > 6 && name.compare(name.size() - 6, 6, ".entry") == 0;
  }
  return false;
}

std::vector<std::string> SubFolders(const std::string& folder) {
  std::vector<std::string> out;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return out;
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    out.push_back(folder + "/" + e->d_name);
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t ModifiedNs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string CutQuery(const std::string& url) {
  const auto q = url.find('?');
  return q == std::string::npos ? url : url.substr(0, q);
}

// "swf" of ".../movie.swf?x=1"; "" when the last path segment has no dot.
std::string ExtensionOf(const std::string& url) {
  std::string path = CutQuery(url);
  const auto hash = path.find('#');
  if (hash != std::string::npos) path.resize(hash);
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// When the entry stops being fresh by its headers (or the browser's own record); 0 unknown.
std::int64_t ExpiryOf(const CachedResponse& r) {
  if (r.expires > 0) return r.expires;
  const std::int64_t received =
      r.responseTime > 0 ? r.responseTime : ParseHttpDate(HttpHeaderValue(r.head, "Date"));
  const std::string cc = HttpHeaderValue(r.head, "Cache-Control");
  const auto at = cc.find("max-age=");
  if (received > 0 && at != std::string::npos) return received + std::atoll(cc.c_str() + at + 8);
  return ParseHttpDate(HttpHeaderValue(r.head, "Expires"));
}

// The cache search's type test: ".swf" at the end once cut at "?".
bool IsSwfUrl(const std::string& url) {
  const std::string cut = CutQuery(url);
  return cut.size() >= 4 && cut.compare(cut.size() - 4, 4, ".swf") == 0;
}

// When the entry's response arrived (the file's time where the cache keeps none).
std::int64_t NewestTime(const CachedResponse& r) {
  return r.responseTime > 0 ? r.responseTime : r.lastFetched;
}

// The readers ask for an entry's fields one small read at a time, from both ends of the file.
// Most entries are a few KB: reading each end once (a small file in one read) and answering
// from those blocks saves the system calls. Never more than two blocks, whatever the file's size.
class EndsOfFile : public EntrySource {
 public:
  static constexpr std::uint64_t kBlock = 8 * 1024;
  explicit EndsOfFile(const FileEntrySource& file) : file_(file) {
    const std::uint64_t size = file.Size();
    if (!file.ReadAt(0, static_cast<std::size_t>(std::min(size, 2 * kBlock)), head_)) head_.clear();
    if (size > 2 * kBlock && !file.ReadAt(size - kBlock, kBlock, tail_)) tail_.clear();
  }
  std::uint64_t Size() const override { return file_.Size(); }
  bool ReadAt(std::uint64_t offset, std::size_t n, std::string& out) const override {
    const std::uint64_t size = file_.Size();
    if (offset <= size && n <= size - offset) {
      if (offset + n <= head_.size()) {
        out.assign(head_, static_cast<std::size_t>(offset), n);
        return true;
      }
      const std::uint64_t tailStart = size - tail_.size();
      if (!tail_.empty() && offset >= tailStart) {
        out.assign(tail_, static_cast<std::size_t>(offset - tailStart), n);
        return true;
      }
    }
    return file_.ReadAt(offset, n, out);
  }

 private:
  const FileEntrySource& file_;
  std::string head_, tail_;
};

}  // namespace

UrlCacheFolders UrlCacheFolders::OfUser() {
  UrlCacheFolders f;
  const std::string cache = CacheHomeFolder();
  for (const char* browser : {"/chromium", "/google-chrome"}) {
    for (const std::string& profile : SubFolders(cache + browser)) {
      if (IsFolder(profile + "/Cache/Cache_Data")) f.chromium.push_back(profile + "/Cache/Cache_Data");
    }
  }
  for (const std::string& profile : SubFolders(cache + "/mozilla/firefox")) {
    if (IsFolder(profile + "/cache2/entries")) f.firefox.push_back(profile + "/cache2/entries");
  }
  f.own = DownloadCacheFolder();
  return f;
}

UrlCacheStore::UrlCacheStore(std::function<UrlCacheFolders()> folders) : folders_(std::move(folders)) {}

UrlCacheStore::~UrlCacheStore() = default;

std::vector<UrlCacheStore::Candidate> UrlCacheStore::ListFiles(const UrlCacheFolders& folders) {
  std::vector<Candidate> out;
  auto add = [&out](CacheKind kind, const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (IsEntryName(kind, name)) out.push_back({kind, folder + "/" + name});
    }
    ::closedir(dir);
  };
  if (!folders.own.empty()) add(CacheKind::Tavimo, folders.own);
  for (const std::string& f : folders.chromium) add(CacheKind::Chromium, f);
  for (const std::string& f : folders.firefox) add(CacheKind::Firefox, f);
  return out;
}

std::optional<CachedResponse> UrlCacheStore::ReadEntry(CacheKind kind, const std::string& file) {
  std::optional<CachedResponse> r;
  if (kind == CacheKind::Tavimo) {
    r = ReadDownloadCacheEntry(file);
  } else {
    FileEntrySource source(file);
    if (!source.Ok()) return std::nullopt;
    const EndsOfFile ends(source);
    r = kind == CacheKind::Chromium ? ReadChromiumEntry(ends) : ReadFirefoxEntry(ends);
    if (r) {
      r->kind = kind;
      r->file = file;
      if (r->lastFetched == 0) r->lastFetched = source.ModifiedTime();
    }
  }
  if (!r || !IsWholeContent(*r)) return std::nullopt;
  return r;
}

std::uint64_t UrlCacheStore::ListedSize(const CachedResponse& r) const {
  if (r.kind == CacheKind::Tavimo || ContentEncodingOf(r.head).empty()) return r.bodyLength;
  // Only a movie's size is worth a look into the body (a planted script of a few megabytes may
  // inflate to gigabytes), and never further than a movie may go.
  if (!IsSwfUrl(r.url)) return kUnknownEntrySize;
  FileEntrySource source(r.file);
  if (!source.Ok()) return kUnknownEntrySize;
  return DecodedBodySize(source, r, static_cast<std::uint64_t>(MaxMovieBytes)).value_or(kUnknownEntrySize);
}

UrlCacheEntry UrlCacheStore::EntryOf(const CachedResponse& r) const {
  UrlCacheEntry e;
  e.url = r.url;
  e.localFile = LocalFileFor(r);
  e.headers = r.head + "\r\n\r\n";
  e.extension = ExtensionOf(r.url);
  e.size = ListedSize(r);
  e.useCount = r.useCount;
  e.lastModified = ParseHttpDate(HttpHeaderValue(r.head, "Last-Modified"));
  e.expires = ExpiryOf(r);
  e.lastAccess = r.lastFetched;
  e.lastSync = r.responseTime;
  return e;
}

UrlCacheListing UrlCacheStore::Entries(UrlCacheFilter filter) const {
  return UrlCacheListing(*this, std::move(filter), ListFiles(folders_()));
}

std::optional<UrlCacheEntry> UrlCacheListing::Next() {
  while (next_ < files_.size()) {
    const Candidate& c = files_[next_++];
    const std::optional<CachedResponse> r = UrlCacheStore::ReadEntry(c.kind, c.file);
    // Only an entry the filter takes is worked out in full: its size may need its body decoded.
    if (r && (!filter_ || filter_(r->url))) return store_->EntryOf(*r);
  }
  return std::nullopt;
}

void UrlCacheStore::RefreshIndexLocked() {
  const UrlCacheFolders folders = folders_();
  std::vector<std::pair<std::string, std::int64_t>> stamp;
  if (!folders.own.empty()) stamp.emplace_back(folders.own, ModifiedNs(folders.own));
  for (const std::string& f : folders.chromium) stamp.emplace_back(f, ModifiedNs(f));
  for (const std::string& f : folders.firefox) stamp.emplace_back(f, ModifiedNs(f));
  // A folder's time changes whenever an entry file comes or goes: otherwise the index holds.
  if (indexed_ && stamp == indexStamp_) return;
  indexStamp_ = std::move(stamp);
  indexed_ = true;
  // Only files that are new or changed since the last look are read (a running browser
  // touches its folders all the time; most of its files stay as they were).
  std::unordered_map<std::string, Known> now;
  now.reserve(known_.size());
  for (Candidate& c : ListFiles(folders)) {
    struct stat st {};
    if (::stat(c.file.c_str(), &st) != 0) continue;
    const std::int64_t modified = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    auto old = known_.find(c.file);
    if (old != known_.end() && old->second.modified == modified && old->second.size == st.st_size) {
      now.emplace(std::move(c.file), std::move(old->second));
      continue;
    }
    std::optional<CachedResponse> r = ReadEntry(c.kind, c.file);
    now.emplace(std::move(c.file),
                Known{c.kind, modified, st.st_size, r ? std::move(r->url) : std::string()});
  }
  known_ = std::move(now);
  byUrl_.clear();
  for (const auto& [file, known] : known_) {
    if (known.url.empty()) continue;
    byUrl_.emplace(known.url, file);
    const std::string cut = CutQuery(known.url);
    if (cut != known.url) byUrl_.emplace(cut + "?", file);
  }
}

std::vector<CachedResponse> UrlCacheStore::Find(const std::string& url, bool alsoWithQuery) {
  std::vector<std::pair<CacheKind, std::string>> hits;
  {
    std::lock_guard lock(indexMutex_);
    RefreshIndexLocked();
    for (const std::string& key : {url, CutQuery(url) == url && alsoWithQuery ? url + "?" : std::string()}) {
      if (key.empty()) continue;
      auto [from, to] = byUrl_.equal_range(key);
      for (auto it = from; it != to; ++it) hits.emplace_back(known_.at(it->second).kind, it->second);
    }
  }
  std::vector<CachedResponse> out;
  for (const auto& [kind, file] : hits) {
    // Read again: the browser may have replaced the file since the index was made.
    std::optional<CachedResponse> r = ReadEntry(kind, file);
    if (r && (r->url == url || (alsoWithQuery && CutQuery(r->url) == url))) out.push_back(std::move(*r));
  }
  std::stable_sort(out.begin(), out.end(), [](const CachedResponse& a, const CachedResponse& b) {
    return NewestTime(a) > NewestTime(b);
  });
  return out;
}

bool UrlCacheStore::CopyOne(const CachedResponse& r, const std::string& target, std::string& error,
                            std::uint64_t* copied, bool* damaged) const {
  *damaged = true;
  FileEntrySource source(r.file);
  if (!source.Ok()) {
    error = "the cached copy is gone";
    return false;
  }
  const auto limit = static_cast<std::uint64_t>(MaxMovieBytes);
  bool tooLarge = false, writeFailed = false, bodyFailed = false;
  const bool saved = SaveStreamAs(
      target,
      [&](const ByteSink& sink, std::string& why) {
        std::uint64_t total = 0;
        bodyFailed = !ReadDecodedBody(
            source, r,
            [&](const char* data, std::size_t n) {
              total += n;
              if (total > limit) {
                tooLarge = true;
                return false;
              }
              if (!sink(data, n)) writeFailed = true;
              return !writeFailed;
            },
            why);
        return !bodyFailed;
      },
      error, copied);
  if (tooLarge) {
    error = "the movie is larger than the limit of " + std::to_string(limit) + " bytes (moviebytes)";
  }
  // A body that cannot be had from this entry (cut, damaged, undecodable) may be had from an
  // older one; a body too large or a target that cannot be written will not be.
  *damaged = bodyFailed && !tooLarge && !writeFailed;
  return saved;
}

bool UrlCacheStore::CopyBody(const CachedResponse& r, const std::string& target, std::string& error,
                             std::uint64_t* copied) const {
  bool damaged = false;
  return CopyOne(r, target, error, copied, &damaged);
}

bool UrlCacheStore::CopyBody(const std::vector<CachedResponse>& newestFirst, const std::string& target,
                             std::string& error, std::uint64_t* copied) const {
  std::string first;
  for (const CachedResponse& r : newestFirst) {
    std::string why;
    bool damaged = false;
    if (CopyOne(r, target, why, copied, &damaged)) return true;
    if (first.empty()) first = why;
    if (!damaged) {
      error = why;
      return false;
    }
  }
  error = first.empty() ? "not in the cache" : first;
  return false;
}

std::string UrlCacheStore::LocalFileFor(const CachedResponse& r) {
  if (r.kind == CacheKind::Tavimo) return r.file;
  // One name per browser file and version of it.
  const std::string id = r.file + "\n" + std::to_string(r.bodyLength) + "\n" + std::to_string(NewestTime(r));
  // Every listed entry gets this name: the digest is fetched once, not looked up per call.
  static EVP_MD* const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  unsigned char d[SHA_DIGEST_LENGTH];
  if (!sha1 || !EVP_Digest(id.data(), id.size(), d, nullptr, sha1, nullptr)) {
    SHA1(reinterpret_cast<const unsigned char*>(id.data()), id.size(), d);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string name(2 * SHA_DIGEST_LENGTH, '0');
  for (int i = 0; i < SHA_DIGEST_LENGTH; ++i) {
    name[2 * i] = kHex[d[i] >> 4];
    name[2 * i + 1] = kHex[d[i] & 15];
  }
  const std::string extension = ExtensionOf(r.url);
  const bool plain = !extension.empty() && extension.size() <= 8 &&
                     std::all_of(extension.begin(), extension.end(), IsAsciiAlnum);
  return CacheHomeFolder() + "/tavimo/extracted/" + name + (plain ? "." + extension : std::string());
}

bool UrlCacheStore::EnsureLocalFile(const CachedResponse& r, std::string& error) const {
  const std::string path = LocalFileFor(r);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return true;
  const std::string folder = path.substr(0, path.rfind('/'));
  if (!EnsureFolder(folder)) {
    error = "cannot create " + folder + ": " + std::strerror(errno);
    return false;
  }
  return CopyBody(r, path, error);
}

}  // namespace tavimo
