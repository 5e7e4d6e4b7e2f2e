#include "sources/session/BrowserSession.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "sources/session/ChromiumSession.h"
#include "sources/session/FirefoxSession.h"
#include "platform/Paths.h"

namespace tavimo {
namespace {

// Names of the entries of a folder (none when it cannot be opened), without "." and "..".
std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

void AddIfFile(std::vector<SessionFile>& out, std::string path, SessionFormat format) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const std::int64_t ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  out.push_back({std::move(path), format, ns});
}

}  // namespace

BrowserSessionRoots DefaultBrowserSessionRoots() {
  const std::string config = ConfigHomeFolder();
  return {{HomeFolder() + "/.mozilla/firefox", config + "/mozilla/firefox"},
          {config + "/chromium", config + "/google-chrome"}};
}

std::vector<SessionFile> FindBrowserSessionFiles(const BrowserSessionRoots& roots) {
  std::vector<SessionFile> files;
  for (const std::string& root : roots.firefox) {
    for (const std::string& profile : FolderEntries(root)) {
      const std::string dir = root + "/" + profile;
      AddIfFile(files, dir + "/sessionstore-backups/recovery.jsonlz4", SessionFormat::Firefox);
      AddIfFile(files, dir + "/sessionstore.jsonlz4", SessionFormat::Firefox);
    }
  }
  for (const std::string& root : roots.chromium) {
    for (const std::string& profile : FolderEntries(root)) {
      const std::string dir = root + "/" + profile + "/Sessions";
      for (const std::string& name : FolderEntries(dir)) {
        if (name.rfind("Session_", 0) == 0) {
          AddIfFile(files, dir + "/" + name, SessionFormat::Chromium);
        }
      }
    }
  }
  return files;
}

std::optional<SessionFile> NewestBrowserSessionFile(const BrowserSessionRoots& roots) {
  std::optional<SessionFile> newest;
  for (SessionFile& f : FindBrowserSessionFiles(roots)) {
    if (!newest || std::tie(f.modifiedNs, f.path) > std::tie(newest->modifiedNs, newest->path)) {
      newest = std::move(f);
    }
  }
  return newest;
}

std::optional<std::string> ReadSessionFile(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= limit) {
    std::string data(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    bool failed = false;
    // The browser may be appending while we read: take what is there, up to the limit.
    for (;;) {
      if (done == data.size()) {
        if (data.size() > limit) break;
        data.resize(std::min(limit + 1, data.size() + 4096));
      }
      const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed = true;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (!failed && done <= limit) {
      data.resize(done);
      bytes = std::move(data);
    }
  }
  ::close(fd);
  return bytes;
}

std::optional<std::string> ReadFrontBrowserAddress(const BrowserSessionRoots& roots) {
  const std::optional<SessionFile> newest = NewestBrowserSessionFile(roots);
  if (!newest) return std::nullopt;
  const std::optional<std::string> bytes = ReadSessionFile(newest->path);
  if (!bytes) return std::nullopt;
  return newest->format == SessionFormat::Firefox ? FirefoxSessionAddress(*bytes)
                                                  : ChromiumSessionAddress(*bytes);
}

std::optional<std::string> CapturedAddress(std::optional<std::string> address) {
  if (!address) return std::nullopt;
  if (address->size() > kCapturedAddressLimit) {
    std::size_t cut = kCapturedAddressLimit;
    // Step back over UTF-8 continuation bytes so no character is cut in half.
    while (cut > kCapturedAddressLimit - 3 && (static_cast<unsigned char>((*address)[cut]) & 0xC0) == 0x80)
      --cut;
    address->resize(cut);
  }
  if (address->empty() || *address == "about:blank") return std::nullopt;
  return address;
}

std::optional<std::string> CaptureFrontBrowserAddress() {
  return CapturedAddress(ReadFrontBrowserAddress(DefaultBrowserSessionRoots()));
}

}  // namespace tavimo
