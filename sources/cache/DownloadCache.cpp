#include "sources/cache/DownloadCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/http/HttpHead.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "base/TextUtils.h"

namespace tavimo {

namespace {

constexpr char kMagic[] = "tavimo-urlcache 1\n";

std::string Sha1Hex(const std::string& s) {
  unsigned char d[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : d) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

// A copy of `from` that replaces `to` whole.
bool CopyFileAs(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  TPendingFile out(to, /*privateFile=*/true);
  bool ok = out.Ok();
  char buf[64 * 1024];
  while (ok) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = out.Write(buf, static_cast<size_t>(n));
  }
  const int why = errno;
  ::close(in);
  errno = why;
  return ok && out.Commit();
}

// The head with the saved body's framing: no encoding, its own length.
std::string SavedHead(const std::string& head, std::uint64_t size) {
  std::string out;
  size_t pos = 0;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(pos, end - pos);
    pos = end + 2;
    const std::optional<HttpField> f = SplitHeaderLine(line);
    if (line.empty() ||
        (f && (SameFieldName(f->name, "Content-Length") || SameFieldName(f->name, "Content-Encoding") ||
               SameFieldName(f->name, "Transfer-Encoding")))) {
      continue;
    }
    out += line + "\r\n";
  }
  out += "Content-Length: " + std::to_string(size) + "\r\n";
  return out;
}

struct Stored {
  std::string entry;
  std::int64_t storedAt = 0;  // nanoseconds
  std::uint64_t size = 0;
};

// Entries of the folder with the time they were written and their body's size.
std::vector<Stored> ListStored(const std::string& folder) {
  std::vector<Stored> out;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return out;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() < 6 || name.compare(name.size() - 6, 6, ".entry") != 0) continue;
    Stored s;
    s.entry = folder + "/" + name;
    struct stat st {};
    if (::stat(s.entry.c_str(), &st) == 0)
      s.storedAt = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (::stat((s.entry.substr(0, s.entry.size() - 6) + ".body").c_str(), &st) == 0) {
      s.size = static_cast<std::uint64_t>(st.st_size);
    }
    out.push_back(std::move(s));
  }
  ::closedir(dir);
  return out;
}

void Remove(const std::string& entry) {
  ::unlink(entry.c_str());
  ::unlink((entry.substr(0, entry.size() - 6) + ".body").c_str());
}

}  // namespace

std::string DownloadCacheFolder() { return CacheHomeFolder() + "/tavimo/urlcache"; }

bool StoreDownload(const std::string& folder, const std::string& url, const std::string& head,
                   const std::string& bodyFile, std::int64_t limitBytes, std::string& error) {
  if (url.empty() || url.find_first_of("\r\n") != std::string::npos) {
    error = "the address cannot be kept in the download cache";
    return false;
  }
  struct stat body {};
  if (::stat(bodyFile.c_str(), &body) != 0) {
    error = "cannot read " + bodyFile + ": " + std::strerror(errno);
    return false;
  }
  if (body.st_size > limitBytes) {
    error = "the file is larger than the download cache";
    return false;
  }
  if (!EnsureFolder(folder)) {
    error = "cannot create " + folder + ": " + std::strerror(errno);
    return false;
  }
  const std::string base = folder + "/" + Sha1Hex(url);
  // The old entry goes first: a reader never pairs a new body with an old head.
  ::unlink((base + ".entry").c_str());
  // Under a fresh name of its own until it is whole: never into a file that is already there
  // (it may be a link to someone's file).
  const std::string bodyPath = base + ".body";
  struct stat kept {};
  if ((!LinkFileAs(bodyFile, bodyPath) && !CopyFileAs(bodyFile, bodyPath)) ||
      ::stat(bodyPath.c_str(), &kept) != 0) {
    error = "cannot store the body in " + folder + ": " + std::strerror(errno);
    return false;
  }
  std::string entry = kMagic + url + "\n" + std::to_string(std::time(nullptr)) + " " +
                      std::to_string(kept.st_size) + " " + std::to_string(kept.st_mtim.tv_sec) + " " +
                      std::to_string(kept.st_mtim.tv_nsec) + "\n" +
                      SavedHead(head, static_cast<std::uint64_t>(kept.st_size));
  if (!WriteFileAtomically(base + ".entry", entry)) {
    error = "cannot write " + base + ".entry: " + std::strerror(errno);
    return false;
  }
  // Oldest out first until the folder fits.
  std::vector<Stored> all = ListStored(folder);
  std::sort(all.begin(), all.end(), [](const Stored& a, const Stored& b) { return a.storedAt < b.storedAt; });
  std::uint64_t total = 0;
  for (const Stored& s : all) total += s.size;
  for (const Stored& s : all) {
    if (total <= static_cast<std::uint64_t>(limitBytes)) break;
    if (s.entry == base + ".entry") continue;  // the newest stays
    Remove(s.entry);
    total -= std::min(total, s.size);
  }
  return true;
}

std::optional<CachedResponse> ReadDownloadCacheEntry(const std::string& entryPath) {
  FileEntrySource source(entryPath);
  if (!source.Ok() || source.Size() > (1u << 20)) return std::nullopt;
  std::string text;
  if (!source.ReadAt(0, static_cast<size_t>(source.Size()), text)) return std::nullopt;
  if (text.compare(0, sizeof kMagic - 1, kMagic) != 0) return std::nullopt;
  size_t pos = sizeof kMagic - 1;
  const size_t urlEnd = text.find('\n', pos);
  if (urlEnd == std::string::npos) return std::nullopt;
  CachedResponse r;
  r.kind = CacheKind::Tavimo;
  r.url = text.substr(pos, urlEnd - pos);
  const size_t numbersEnd = text.find('\n', urlEnd + 1);
  if (numbersEnd == std::string::npos) return std::nullopt;
  long long storedAt = 0, mtimeSec = 0, mtimeNsec = 0;
  unsigned long long size = 0;
  if (std::sscanf(text.c_str() + urlEnd + 1, "%lld %llu %lld %lld", &storedAt, &size, &mtimeSec,
                  &mtimeNsec) != 4) {
    return std::nullopt;
  }
  r.head = text.substr(numbersEnd + 1);
  if (r.head.size() >= 2 && r.head.compare(r.head.size() - 2, 2, "\r\n") == 0)
    r.head.resize(r.head.size() - 2);
  r.status = HttpStatusOf(r.head, true);
  r.file = entryPath.substr(0, entryPath.size() - 6) + ".body";
  struct stat body {};
  if (::stat(r.file.c_str(), &body) != 0 || static_cast<unsigned long long>(body.st_size) != size ||
      body.st_mtim.tv_sec != mtimeSec || body.st_mtim.tv_nsec != mtimeNsec) {
    return std::nullopt;  // gone, or the saved file was changed since
  }
  r.bodyLength = size;
  r.responseTime = storedAt;
  r.lastFetched = storedAt;
  return r;
}

}  // namespace tavimo
