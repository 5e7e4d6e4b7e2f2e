// tavimo-scan: the window's scan without a window, for pipelines and batches. Pages come from
// the command line and from a file or standard input (read as the run goes, so results stream
// out while the list is still being written); --jobs N scans N pages at once, each on its own
// thread with its own client. Movies go to standard output; a page that fails prints an error
// record on standard error and the run goes on.
#include <QCoreApplication>
#include <QThread>

#include <openssl/crypto.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/HeadlessDownload.h"
#include "cli/HeadlessScan.h"
#include "cli/ItemPrinter.h"
#include "cli/PageList.h"
#include "cli/ScanOptions.h"
#include "cli/WarcScan.h"
#include "detect/CacheSearch.h"
#include "platform/AtomicFile.h"
#include "detect/PageScan.h"
#include "download/CategoryFolder.h"
#include "platform/BackgroundPool.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SettingValues.h"
#include "compat/Registry.h"
#include "sources/cache/UrlCacheStore.h"

namespace tavimo::cli {
namespace {

// Every URL of the URL cache that the cache search could list, in the cache's order. Read once
// per run: each page's search goes through this list.
std::vector<std::string> CachedSwfUrls(std::int64_t movieBytes) {
  UrlCacheStore store;
  store.MaxMovieBytes = movieBytes;
  return CachedMovieUrls(store);
}

// Movies go to standard output, failed pages to standard error. A write to standard output
// that fails (a full disk, a closed pipe end) ends the run: its results cannot be delivered.
class Output {
 public:
  explicit Output(bool json) : json_(json) {}
  void Page(const ScanOutcome& outcome, const std::string& page) {
    std::string text;
    for (const FoundItem& item : outcome.items) text += FormatItem(item, json_);
    std::lock_guard lock(mutex_);
    // Flushed per page: a pipeline sees each page's movies as soon as they are found.
    writeOut(text, true);
    if (!outcome.failure.empty()) writeErr(FormatFailure(page, outcome.failure, json_));
  }
  void Item(const FoundItem& item) {
    std::lock_guard lock(mutex_);
    writeOut(FormatItem(item, json_), false);
  }
  void Failure(const std::string& where, const std::string& reason) {
    std::lock_guard lock(mutex_);
    writeErr(FormatFailure(where, reason, json_));
  }
  void SaveFailed() { MarkFailed(); }
  void MarkFailed() {
    std::lock_guard lock(mutex_);
    failed_ = true;
  }
  // Flushes what is left; false (with the reason) when standard output could not take it all.
  bool Finish(std::string& error) {
    std::lock_guard lock(mutex_);
    writeOut({}, true);
    error = writeError_;
    return writeError_.empty();
  }
  bool WriteFailed() {
    std::lock_guard lock(mutex_);
    return !writeError_.empty();
  }
  bool Failed() {
    std::lock_guard lock(mutex_);
    return failed_ || !writeError_.empty();
  }

 private:
  void writeOut(const std::string& text, bool flush) {
    if (!writeError_.empty()) return;
    if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) ||
        (flush && std::fflush(stdout) != 0) || std::ferror(stdout)) {
      writeError_ = std::string("cannot write the results to standard output: ") + std::strerror(errno);
    }
  }
  void writeErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    failed_ = true;
  }
  bool json_;
  std::mutex mutex_;
  bool failed_ = false;
  std::string writeError_;
};

// The run's end: a failed write to standard output is said and fails the run.
int ExitStatus(Output& output) {
  std::string error;
  if (!output.Finish(error)) std::fprintf(stderr, "tavimo-scan: %s\n", error.c_str());
  return output.Failed() ? kExitSomeFailed : kExitAllScanned;
}

int Run(const ScanOptions& o) {
  // The window's settings, the command line's limits over the file's.
  SettingValues settings = SettingValues::Read(TIniFile(SettingsFilePath()));
  for (const auto& [id, value] : o.limits) settings.Set(id, value);
  const int detectMode = o.detectMode.value_or(settings.Get(Setting::DetectOption));
  const int downloadMode = o.downloadMode.value_or(settings.Get(Setting::DownloadOption));
  const bool withQuery = o.withQuery || settings.On(Setting::SwfWithQuery);
  BackgroundPool::SetMaxThreads(settings.Get(Setting::BackgroundThreads));
  const std::int64_t movieBytes = settings.Get(Setting::MovieBytes);
  // One run is one batch: no movie of the run overwrites another, whichever page or archive
  // it came from and whichever job saves it.
  BatchNames names;
  if (!o.warcs.empty()) {
    Output output(o.json);
    std::string folder;
    if (!o.saveDir.empty()) {
      folder = CategoryFolder(o.saveDir, o.category.empty() ? kNoCategory : o.category);
      if (!EnsureFolder(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder, 0755))
        throw std::runtime_error("cannot create the folder " + folder + ": " + std::strerror(errno));
    }
    for (const std::string& warc : o.warcs) {
      WarcScanLimits limits;
      limits.maxPages = settings.Get(Setting::Pages);
      limits.maxPageBytes = static_cast<std::size_t>(settings.Get(Setting::PageBytes));
      limits.maxScanBytes = static_cast<std::size_t>(settings.Get(Setting::ScanBytes));
      limits.withQuery = withQuery;
      limits.accessPointSpacing = static_cast<std::uint64_t>(settings.Get(Setting::WarcPointBytes));
      limits.movieBytes = movieBytes;
      WarcSaving saving;
      if (!folder.empty()) {
        saving.target = [&](const FoundItem& item) { return names.Take(folder + item.name); };
        saving.done = [&](const FoundItem& item, const std::string& target, bool saved,
                          const std::string& error) {
          if (saved) {
            const std::string as = target.substr(folder.size());
            std::fprintf(stderr, "%s: saved%s\n", item.name.c_str(),
                         as == item.name ? "" : (" as " + as).c_str());
          } else {
            names.Release(target);
            std::fprintf(stderr, "%s: Download failed: %s\n", item.name.c_str(), error.c_str());
            output.SaveFailed();
          }
        };
      }
      ScanWarc(
          warc, limits, [&output](const FoundItem& item) { output.Item(item); },
          [&output](const std::string& where, const std::string& reason) { output.Failure(where, reason); },
          saving);
      if (output.WriteFailed()) break;
    }
    return ExitStatus(output);
  }
  const std::vector<std::string> cached =
      detectMode == 0 ? std::vector<std::string>() : CachedSwfUrls(movieBytes);
  PageList pages(o.urls, o.urlsFrom);
  pages.MaxLineBytes = static_cast<std::size_t>(settings.Get(Setting::UrlLineBytes));
  Output output(o.json);
  const EnvRegistrySource registry;

  std::vector<std::unique_ptr<QThread>> jobs;
  for (int n = 0; n < o.jobs; ++n) {
    jobs.emplace_back(QThread::create([&] {
      HeadlessScan scan(detectMode, cached, registry, withQuery);
      scan.SetLimits(settings);
      std::unique_ptr<HeadlessDownload> save;
      if (!o.saveDir.empty()) {
        save = std::make_unique<HeadlessDownload>(o.saveDir, o.category, downloadMode, registry, stderr,
                                                  o.jobs == 1 && ::isatty(STDERR_FILENO), names);
        save->SetLimits(settings);
      }
      while (std::optional<std::string> page = pages.Next()) {
        ScanOutcome outcome;
        try {
          outcome = scan.Scan(*page);
        } catch (const std::exception& e) {
          outcome.failure = e.what();
        }
        output.Page(outcome, *page);
        if (output.WriteFailed()) pages.Close();
        if (save && !save->Save(outcome.items)) output.SaveFailed();
      }
      save.reset();
      // Hand back what OpenSSL keeps for this thread before the thread ends.
      OPENSSL_thread_stop();
    }));
    jobs.back()->start();
  }
  for (auto& job : jobs) job->wait();
  const std::string listError = pages.Error();
  if (!listError.empty()) {
    std::fprintf(stderr, "tavimo-scan: %s\n", listError.c_str());
    output.MarkFailed();
  }
  return ExitStatus(output);
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
