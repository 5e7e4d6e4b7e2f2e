#include "download/DownloadDriver.h"

#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <memory>

#include "detect/ScanReport.h"
#include "download/CategoryFolder.h"
#include "download/HttpGet.h"
#include "sources/cache/UrlCacheStore.h"
#include "net/HttpCli.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"

namespace tavimo {

namespace {

// The body the own client fetches, written into the item's pending file, at most `limit` bytes:
// more ends the request (the client cannot store the rest).
class PendingFileStream : public TStream {
 public:
  PendingFileStream(TPendingFile& file, std::int64_t limit) : file_(file), limit_(limit) {}
  bool LimitHit() const { return limitHit_; }
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (static_cast<std::int64_t>(file_.Written()) + count > limit_) {
      limitHit_ = true;
      throw EStreamError("the movie is larger than the download limit");
    }
    if (!file_.Write(static_cast<const char*>(buffer), static_cast<std::size_t>(count))) {
      throw EStreamError(std::strerror(errno));
    }
    return count;
  }
  std::int64_t Seek(std::int64_t, SeekOrigin) override { return Size(); }
  std::int64_t Size() override { return static_cast<std::int64_t>(file_.Written()); }
  void SetSize(std::int64_t) override { throw EStreamError("a download cannot be resized"); }

 private:
  TPendingFile& file_;
  std::int64_t limit_;
  bool limitHit_ = false;
};

}  // namespace

int GaugePercent(std::int64_t value, std::int64_t total) {
  if (total <= 0) return 0;
  const std::int64_t p = value * 100 / total;
  return p < 0 ? 0 : p > 100 ? 100 : static_cast<int>(p);
}

std::string ReceivedText(std::int64_t size) {
  if (size > 1024) return std::to_string(size / 1024) + "K Bytes Received";
  return std::to_string(size) + " Bytes Received";
}

std::string BatchFailureText(const BatchOutcome& outcome) {
  std::string text = std::to_string(outcome.saved) + " of " + std::to_string(outcome.items) + " saved";
  for (const std::string& failure : outcome.failures) text += "; " + failure;
  return text;
}

namespace {

std::string FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TDownloadDriver::TDownloadDriver(DownloadForm& form, THTTPGet& httpgetfile, THttpCli& HttpCli1)
    : form_(form), httpgetfile_(httpgetfile), HttpCli1_(HttpCli1) {
  httpgetfile_.WaitThread = true;
  httpgetfile_.OnProgress = [this](THTTPGetThread* s, std::int64_t total, std::int64_t readed) {
    httpgetfileProgress(s, total, readed);
  };
  httpgetfile_.OnDoneFile = [this](THTTPGet* s, const std::string& f, std::int64_t size) {
    httpgetfileDoneFile(s, f, size);
  };
  httpgetfile_.OnError = [this](THTTPGet* s, const std::string& why) { httpgetfileError(s, why); };
  HttpCli1_.OnDocBegin = [this](THttpCli* s) { HttpCli1DocBegin(s); };
  HttpCli1_.OnDocData = [this](THttpCli* s, const char* b, std::int32_t n) { HttpCli1DocData(s, b, n); };
  HttpCli1_.OnDocEnd = [this](THttpCli* s) { HttpCli1DocEnd(s); };
}

std::string TDownloadDriver::ItemFolder() {
  const std::string root = form_.RootFieldText();
  form_.SetDownloadRoot(root);
  return CategoryFolder(root, form_.SelectedCategory());
}

std::string TDownloadDriver::ReadyItemFolder(std::string& error) {
  const std::string folder = ItemFolder();
  // The list may hold a name from the settings file that the dialog would refuse.
  const std::string category = form_.SelectedCategory();
  if (std::string why = CategoryNameProblem(category); !why.empty()) {
    error = std::move(why);
    return {};
  }
  // With its parents: on a fresh account even the download folder may be missing. Open to
  // others as the user's umask allows, as the saved files are.
  const std::string path = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
  if (!EnsureFolder(path, 0755)) {
    error = "cannot create the folder " + path + ": " + std::strerror(errno);
    return {};
  }
  return folder;
}

void TDownloadDriver::ThrowIfBusy() const {
  if (running_ || httpgetfile_.Busy() || HttpCli1_.State() != httpReady) {
    throw EHttpException("HTTP component is busy", 1);
  }
}

void TDownloadDriver::butdownloadClick() {
  ThrowIfBusy();
  std::vector<std::string> urls, names;
  for (int i = 0; i < form_.ItemCount(); ++i) {
    if (!form_.ItemChecked(i)) continue;
    urls.push_back(form_.ItemUrl(i));
    names.push_back(form_.ItemSaveName(i));
  }
  if (urls.empty()) {
    ItemFolder();  // the root field still becomes the root
    form_.ShowMessage("No Flash item is selected", "Please check up the Flash items that you want to save.");
    return;
  }
  std::string error;
  const std::string folder = ReadyItemFolder(error);
  if (folder.empty()) return ShowFailure(error);
  FinishCommand(DownloadNamed(folder, urls, names));
}

BatchOutcome TDownloadDriver::DownloadNamed(const std::string& folder, const std::vector<std::string>& urls,
                                            const std::vector<std::string>& names) {
  // A save-as name is the user's to edit: one that would leave the folder ("../x.swf") or name
  // the folder itself fails on its own, and the batch saves the others.
  std::vector<std::string> goodUrls, paths, refused;
  for (size_t i = 0; i < urls.size() && i < names.size(); ++i) {
    if (std::string why = SaveNameProblem(names[i]); !why.empty()) {
      refused.push_back(names[i] + ": " + why);
      continue;
    }
    goodUrls.push_back(urls[i]);
    paths.push_back(folder + names[i]);
  }
  BatchOutcome outcome = DownloadItems(goodUrls, paths);
  outcome.items += static_cast<int>(refused.size());
  outcome.failures.insert(outcome.failures.begin(), refused.begin(), refused.end());
  return outcome;
}

void TDownloadDriver::DownloadthisFlashItem1Click() {
  ThrowIfBusy();
  const int row = form_.FirstSelectedItem();
  if (row < 0) {
    ItemFolder();
    return;
  }
  std::string error;
  const std::string folder = ReadyItemFolder(error);
  if (folder.empty()) return ShowFailure(error);
  FinishCommand(DownloadNamed(folder, {form_.ItemUrl(row)}, {form_.ItemSaveName(row)}));
}

void TDownloadDriver::FinishCommand(const BatchOutcome& outcome) {
  if (outcome.stopped) return;
  if (!outcome.failures.empty()) {
    // The window stays, so the user sees what was not saved.
    ShowStatus(BatchFailureText(outcome));
    return;
  }
  if (form_.AutoClose()) form_.HideAndClear();
}

void TDownloadDriver::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  httpgetfile_.Abort();
  HttpCli1_.Abort();
}

BatchOutcome TDownloadDriver::DownloadItems(const std::vector<std::string>& urls,
                                            const std::vector<std::string>& paths) {
  // A second batch started from an event handled during a wait would rewrite the running
  // item's URL and stream: refuse it first.
  ThrowIfBusy();
  running_ = true;
  stopRequested_ = false;
  const auto done = qScopeGuard([this] {
    running_ = false;
    itemNote_.clear();
  });
  BatchNames own;
  BatchNames& names = SharedNames ? *SharedNames : own;
  BatchOutcome outcome;
  for (size_t i = 0; i < urls.size() && i < paths.size(); ++i) {
    if (stopRequested_) break;
    // Numbered from what the batch really saved: the name is taken now and given back if
    // the item fails.
    const std::string target = names.Take(paths[i]);
    auto giveBack = qScopeGuard([&] { names.Release(target); });
    itemNote_ = target == paths[i] ? std::string() : ", saved as " + FileNameOf(target);
    ++outcome.items;
    const std::string failure = SaveItem(urls[i], target);
    if (stopRequested_) break;
    if (failure.empty()) {
      giveBack.dismiss();
      ++outcome.saved;
    } else {
      outcome.failures.push_back(FileNameOf(paths[i]) + ": " + failure);
    }
  }
  outcome.stopped = stopRequested_;
  return outcome;
}

std::string TDownloadDriver::SaveItem(const std::string& url, const std::string& target) {
  switch (form_.DownloadMode()) {
    case 0:
      httpgetfile_.URL = url;
      httpgetfile_.FileName = target;
      httpgetfile_.UseCache = true;
      httpgetfile_.GetFile();
      // The outcome event has shown the item's status (a stopped batch shows none).
      if (stopRequested_) return "stopped";
      if (httpgetfile_.LastOutcome()) return {};
      return httpgetfile_.LastError().empty() ? std::string("not saved") : httpgetfile_.LastError();
    case 1: return SaveFromInternet(url, target);
    default: return CopyFromCache(url, target);
  }
}

std::string TDownloadDriver::SaveFromInternet(const std::string& url, const std::string& target) {
  std::string host, port;
  if (form_.ReadProxySettings(host, port)) {
    HttpCli1_.Proxy = host;
    HttpCli1_.ProxyPort = port;
  }
  // The body goes to a temporary file: the target stays as it was until the item is
  // whole, and a failed item leaves no file.
  TPendingFile pending(target);
  if (!pending.Ok()) {
    const std::string failure = "cannot create a file beside " + target + ": " + std::strerror(errno);
    ShowFailure(failure);
    return failure;
  }
  HttpCli1_.URL = url;
  auto file = std::make_unique<PendingFileStream>(pending, MaxMovieBytes);
  {
    HttpCli1_.RcvdStream = file.get();
    // The stream is detached and closed whether Get returns or raises.
    const auto detach = qScopeGuard([this] { HttpCli1_.RcvdStream = nullptr; });
    HttpCli1_.Get();
  }
  std::string failure = stopRequested_     ? "stopped"
                        : file->LimitHit() ? "the movie is larger than " + std::to_string(MaxMovieBytes) +
                                                 " bytes, the most a download saves"
                                           : HttpCli1Failure();
  file.reset();
  if (failure.empty() && !pending.Commit()) failure = "cannot save " + target + ": " + std::strerror(errno);
  // One final status per item, given once the file is in place.
  if (failure.empty()) {
    ShowStatus("Download Complete" + itemNote_);
  } else {
    ShowFailure(failure);
  }
  return failure;
}

std::string TDownloadDriver::HttpCli1Failure() const {
  const std::uint16_t error = HttpCli1_.RequestDoneError();
  if (error == httperrAborted) return "stopped";
  if (error == httperrStreamWrite) return "the file could not be written";
  if (error != 0) return FetchFailureText(HttpCli1_.StatusCode(), HttpCli1_.ReasonPhrase(), error);
  const long status = HttpCli1_.StatusCode();
  if (status < 200 || status > 299 || status == 204 || status == 205 || status == 206) {
    const std::string& why = HttpCli1_.ReasonPhrase();
    return std::to_string(status) + (why.empty() ? std::string() : " " + why);
  }
  const std::int64_t length = HttpCli1_.ContentLength();
  if (length >= 0 && HttpCli1_.RcvdCount() < length) {
    return "the body ended after " + std::to_string(HttpCli1_.RcvdCount()) + " of " + std::to_string(length) +
           " bytes";
  }
  return {};
}

std::string TDownloadDriver::CopyFromCache(const std::string& url, const std::string& target) {
  const std::vector<CachedResponse> found =
      CacheStore ? CacheStore->Find(url, true) : std::vector<CachedResponse>();
  if (found.empty()) {
    ShowStatus("Not in the cache: " + url);
    return "not in the cache";
  }
  std::string error;
  std::uint64_t size = 0;
  if (!CacheStore->CopyBody(found, target, error, &size)) {
    ShowFailure(error);
    return error;
  }
  ShowStatus(ReceivedText(static_cast<std::int64_t>(size)) + itemNote_);
  return {};
}

void TDownloadDriver::ShowStatus(const std::string& text) {
  form_.SetGaugeProgress(0);
  form_.SetStatusText(text);
  form_.SetStatusVisible(true);
}

void TDownloadDriver::ShowFailure(const std::string& reason) { ShowStatus("Download failed: " + reason); }

void TDownloadDriver::httpgetfileError(THTTPGet*, const std::string& reason) {
  if (stopRequested_) return;
  ShowFailure(reason);
}

void TDownloadDriver::httpgetfileProgress(THTTPGetThread*, std::int64_t totalSize, std::int64_t readed) {
  form_.SetStatusVisible(false);
  form_.SetGaugeProgress(GaugePercent(readed, totalSize));
}

void TDownloadDriver::httpgetfileDoneFile(THTTPGet*, const std::string&, std::int64_t fileSize) {
  form_.SetGaugeProgress(0);
  form_.SetStatusText(ReceivedText(fileSize) + itemNote_);
  form_.SetStatusVisible(true);
}

void TDownloadDriver::HttpCli1DocBegin(THttpCli*) { form_.SetStatusVisible(false); }

void TDownloadDriver::HttpCli1DocData(THttpCli* sender, const char*, std::int32_t) {
  form_.SetGaugeProgress(GaugePercent(sender->RcvdCount(), sender->ContentLength()));
}

// The item's status waits until its file is in place (SaveFromInternet).
void TDownloadDriver::HttpCli1DocEnd(THttpCli*) { form_.SetGaugeProgress(0); }

}  // namespace tavimo
