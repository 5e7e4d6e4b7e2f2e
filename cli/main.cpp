// tavimo-scan: the window's scan without a window, for pipelines and batches. Pages come from
// the command line and from a file or standard input (read as the run goes, so results stream
// out while the list is still being written); --jobs N scans N pages at once, each on its own
// thread with its own client. A page that fails prints an error record and the run goes on.
#include <QCoreApplication>
#include <QThread>

#include <openssl/crypto.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/HeadlessDownload.h"
#include "cli/HeadlessScan.h"
#include "cli/ItemPrinter.h"
#include "cli/ScanOptions.h"
#include "cli/WarcScan.h"
#include "detect/CacheSearch.h"
#include "platform/AtomicFile.h"
#include "platform/BackgroundPool.h"
#include "platform/IniFile.h"
#include "platform/MovieLimit.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/UrlCacheStore.h"

namespace tavimo::cli {
namespace {

// The settings file's option as the window reads it: 1, 2, 3 -> 0, 1, 2; any other value
// leaves the window's starting value, 0.
int OptionOf(const TIniFile& settings, const char* key, int fileDefault) {
  switch (settings.ReadInteger("options", key, fileDefault)) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    default: return 0;
  }
}

// Every URL of the URL cache that the cache search could list (".swf" once cut at "?"), in
// the cache's order. Read once per run: each page's search filters this list.
std::vector<std::string> CachedSwfUrls() {
  UrlCacheStore store;
  std::vector<std::string> out;
  std::vector<std::uint64_t> room(512);
  auto info = [&room] { return reinterpret_cast<UrlCacheEntryInfo*>(room.data()); };
  std::uint32_t size = static_cast<std::uint32_t>(room.size() * 8), error = 0;
  UrlCacheStore::Handle h = store.FindFirst("", kNormalCacheEntry, 0, info(), &size, &error);
  if (h == 0 && error == kErrorInsufficientBuffer) {
    room.resize(size / 8 + 1);
    h = store.FindFirst("", kNormalCacheEntry, 0, info(), &size, &error);
  }
  bool ok = h != 0;
  while (ok) {
    const std::string url = info()->sourceUrlName;
    if (!CacheSearchUrl(url, "", true).empty()) out.push_back(url);
    size = static_cast<std::uint32_t>(room.size() * 8);
    ok = store.FindNext(h, info(), &size, &error);
    if (!ok && error == kErrorInsufficientBuffer) {
      room.resize(size / 8 + 1);
      size = static_cast<std::uint32_t>(room.size() * 8);
      ok = store.FindNext(h, info(), &size, &error);
    }
  }
  if (h) store.FindClose(h);
  return out;
}

// The pages to scan, handed out one at a time to the jobs. The list is read with stdio's own
// line reader: a line at a time as it arrives (so a list still being written streams), one lock
// per line where the standard streams synced with stdio take one per character.
class PageQueue {
 public:
  PageQueue(std::vector<std::string> pages, const std::string& from) : pages_(std::move(pages)) {
    if (from == "-") {
      in_ = stdin;
    } else if (!from.empty()) {
      in_ = std::fopen(from.c_str(), "re");
      if (!in_) throw std::runtime_error("cannot read " + from);
      owned_ = true;
    }
  }
  ~PageQueue() {
    if (owned_) std::fclose(in_);
    std::free(line_);
  }
  PageQueue(const PageQueue&) = delete;
  PageQueue& operator=(const PageQueue&) = delete;

  std::optional<std::string> Next() {
    std::lock_guard lock(mutex_);
    if (next_ < pages_.size()) return pages_[next_++];
    ssize_t got = 0;
    while (in_ && (got = ::getline(&line_, &room_, in_)) >= 0) {
      std::string_view line(line_, static_cast<size_t>(got));
      if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const auto first = line.find_first_not_of(" \t");
      if (first == std::string_view::npos || line[first] == '#') continue;
      return std::string(line);
    }
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> pages_;
  size_t next_ = 0;
  FILE* in_ = nullptr;
  bool owned_ = false;
  char* line_ = nullptr;
  size_t room_ = 0;
};

class Output {
 public:
  explicit Output(bool json) : json_(json) {}
  void Page(const ScanOutcome& outcome, const std::string& page) {
    std::string text;
    for (const FoundItem& item : outcome.items) text += FormatItem(item, json_);
    if (!outcome.failure.empty()) text += FormatFailure(page, outcome.failure, json_);
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!outcome.failure.empty()) failed_ = true;
  }
  void Item(const FoundItem& item) { Write(FormatItem(item, json_), false); }
  void Failure(const std::string& where, const std::string& reason) {
    Write(FormatFailure(where, reason, json_), true);
  }
  void SaveFailed() {
    std::lock_guard lock(mutex_);
    failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  void Write(const std::string& text, bool failure) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (failure) failed_ = true;
  }
  bool json_;
  std::mutex mutex_;
  bool failed_ = false;
};

int Run(const ScanOptions& o) {
  const TIniFile settings(SettingsFilePath());
  const int detectMode = o.detectMode.value_or(OptionOf(settings, "DetectOption", 2));
  const int downloadMode = o.downloadMode.value_or(OptionOf(settings, "DownloadOption", 1));
  const bool withQuery = o.withQuery || settings.ReadInteger("options", "swfwithquery", 0) != 0;
  BackgroundPool::SetMaxThreadsFrom(settings);
  const std::int64_t movieBytes = MovieBytesFrom(settings);
  if (!o.warcs.empty()) {
    Output output(o.json);
    std::string folder;
    if (!o.saveDir.empty()) {
      folder = o.saveDir + "/" + (o.category.empty() ? std::string() : o.category + "/");
      if (!EnsureFolder(folder.substr(0, folder.size() - 1)))
        throw std::runtime_error("cannot create " + folder);
    }
    for (const std::string& warc : o.warcs) {
      WarcScanLimits limits;
      limits.withQuery = withQuery;
      limits.movieBytes = movieBytes;
      WarcSaving saving;
      if (!folder.empty()) {
        saving.target = [&folder](const FoundItem& item) { return folder + item.name; };
        saving.done = [&output](const FoundItem& item, bool saved, const std::string& error) {
          if (saved) {
            std::fprintf(stderr, "%s: saved\n", item.name.c_str());
          } else {
            std::fprintf(stderr, "%s: Download failed: %s\n", item.name.c_str(), error.c_str());
            output.SaveFailed();
          }
        };
      }
      ScanWarc(
          warc, limits, [&output](const FoundItem& item) { output.Item(item); },
          [&output](const std::string& where, const std::string& reason) { output.Failure(where, reason); },
          saving);
      std::fflush(stdout);
    }
    return output.Failed() ? kExitSomeFailed : kExitAllScanned;
  }
  const std::vector<std::string> cached = detectMode == 0 ? std::vector<std::string>() : CachedSwfUrls();
  PageQueue pages(o.urls, o.urlsFrom);
  Output output(o.json);
  const EnvRegistrySource registry;

  std::vector<std::unique_ptr<QThread>> jobs;
  for (int n = 0; n < o.jobs; ++n) {
    jobs.emplace_back(QThread::create([&] {
      HeadlessScan scan(detectMode, cached, registry, withQuery);
      std::unique_ptr<HeadlessDownload> save;
      if (!o.saveDir.empty()) {
        save = std::make_unique<HeadlessDownload>(o.saveDir, o.category, downloadMode, registry, stderr,
                                                  o.jobs == 1 && ::isatty(STDERR_FILENO));
        save->SetMaxMovieBytes(movieBytes);
      }
      while (std::optional<std::string> page = pages.Next()) {
        ScanOutcome outcome;
        try {
          outcome = scan.Scan(*page);
        } catch (const std::exception& e) {
          outcome.failure = e.what();
        }
        output.Page(outcome, *page);
        if (save && !save->Save(outcome.items)) output.SaveFailed();
      }
      save.reset();
      // Hand back what OpenSSL keeps for this thread before the thread ends.
      OPENSSL_thread_stop();
    }));
    jobs.back()->start();
  }
  for (auto& job : jobs) job->wait();
  return output.Failed() ? kExitSomeFailed : kExitAllScanned;
}

}  // namespace
}  // namespace tavimo::cli

int main(int argc, char** argv) {
  using namespace tavimo::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<ScanOptions> options = ParseScanOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "tavimo-scan: %s\n%s", error.c_str(), UsageText().c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitAllScanned;
  }
  // Qt's own event loop rather than GLib's: the scan threads need nothing of GLib, and Qt's wakes
  // a thread once per batch of queued messages where GLib's wakes it once per message. Measured
  // here, 1,000 local pages with --jobs 8 take about 10 % less time. Set before the first event
  // loop (and inherited by every job thread); a value the user set is kept.
  if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  // Ctrl+C or a kill leaves no half-saved movie behind.
  tavimo::RemovePendingFilesOnTermination();
  try {
    return Run(*options);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tavimo-scan: %s\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavimo-scan: %s\n", e.what());
    return kExitSomeFailed;
  }
}
