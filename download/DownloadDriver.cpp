#include "download/DownloadDriver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <memory>
#include <set>

#include "detect/ScanReport.h"
#include "download/HttpGet.h"
#include "platform/UrlCacheStore.h"
#include "net/HttpCli.h"
#include "platform/AtomicFile.h"
#include "platform/Stream.h"
#include "platform/WinsockErrors.h"

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

std::string NumberedPath(const std::string& path, int n) {
  const auto slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  auto dot = path.find_last_of('.');
  // A leading dot (".swf") names the file, it does not start an extension.
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

std::vector<std::string> DistinctBatchPaths(const std::vector<std::string>& paths) {
  const std::set<std::string> named(paths.begin(), paths.end());
  std::set<std::string> used;
  std::vector<std::string> out;
  out.reserve(paths.size());
  for (const std::string& p : paths) {
    std::string chosen = p;
    for (int n = 2; used.count(chosen); ++n) {
      chosen = NumberedPath(p, n);
      if (named.count(chosen)) chosen = p;  // a later item's own name: keep looking
    }
    used.insert(chosen);
    out.push_back(chosen);
  }
  return out;
}

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
  const std::string base = !root.empty() && root.back() == '/' ? root : root + "/";
  const std::string category = form_.SelectedCategory();
  return category == "--" ? base : base + category + "/";
}

void TDownloadDriver::ThrowIfBusy() const {
  if (running_ || httpgetfile_.Busy() || HttpCli1_.State() != httpReady) {
    throw EHttpException("HTTP component is busy", 1);
  }
}

void TDownloadDriver::butdownloadClick() {
  ThrowIfBusy();
  const std::string folder = ItemFolder();
  // One level only: the parent must exist. A failure shows up when the files are created.
  ::mkdir(folder.substr(0, folder.size() - 1).c_str(), 0755);
  std::vector<std::string> urls, paths;
  for (int i = 0; i < form_.ItemCount(); ++i) {
    if (!form_.ItemChecked(i)) continue;
    urls.push_back(form_.ItemUrl(i));
    paths.push_back(folder + form_.ItemSaveName(i));
  }
  if (urls.empty()) {
    form_.ShowMessage("No Flash item is selected", "Please check up the Flash items that you want to save.");
    return;
  }
  DownloadItems(urls, paths);
}

void TDownloadDriver::DownloadthisFlashItem1Click() {
  ThrowIfBusy();
  const std::string folder = ItemFolder();
  const int row = form_.FirstSelectedItem();
  if (row < 0) return;
  DownloadItems({form_.ItemUrl(row)}, {folder + form_.ItemSaveName(row)});
}

void TDownloadDriver::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  httpgetfile_.Abort();
  HttpCli1_.Abort();
}

void TDownloadDriver::DownloadItems(const std::vector<std::string>& urls,
                                    const std::vector<std::string>& paths) {
  // A second batch started from an event handled during a wait would rewrite the running
  // item's URL and stream: refuse it first.
  ThrowIfBusy();
  struct Running {
    TDownloadDriver& d;
    explicit Running(TDownloadDriver& driver) : d(driver) {
      d.running_ = true;
      d.stopRequested_ = false;
    }
    ~Running() {
      d.running_ = false;
      d.itemNote_.clear();
    }
  } running{*this};
  const std::vector<std::string> targets = DistinctBatchPaths(paths);
  for (size_t i = 0; i < urls.size() && i < targets.size() && !stopRequested_; ++i) {
    itemNote_.clear();
    if (targets[i] != paths[i]) {
      const auto slash = targets[i].find_last_of('/');
      itemNote_ = ", saved as " + targets[i].substr(slash == std::string::npos ? 0 : slash + 1);
    }
    switch (form_.DownloadMode()) {
      case 0:
        httpgetfile_.URL = urls[i];
        httpgetfile_.FileName = targets[i];
        httpgetfile_.UseCache = true;
        httpgetfile_.GetFile();
        break;
      case 1: {
        std::string host, port;
        if (form_.ReadProxySettings(host, port)) {
          HttpCli1_.Proxy = host;
          HttpCli1_.ProxyPort = port;
        }
        // The body goes to a temporary file: the target stays as it was until the item is
        // whole, and a failed item leaves no file.
        TPendingFile pending(targets[i]);
        if (!pending.Ok()) throw EStreamError("Cannot create file " + targets[i]);
        HttpCli1_.URL = urls[i];
        auto file = std::make_unique<PendingFileStream>(pending, MaxMovieBytes);
        {
          HttpCli1_.RcvdStream = file.get();
          // The stream is detached and closed whether Get returns or raises.
          struct Detach {
            THttpCli& cli;
            ~Detach() { cli.RcvdStream = nullptr; }
          } detach{HttpCli1_};
          HttpCli1_.Get();
        }
        std::string failure = stopRequested_ ? "stopped"
                              : file->LimitHit()
                                  ? "the movie is larger than " + std::to_string(MaxMovieBytes) +
                                        " bytes, the most a download saves"
                                  : HttpCli1Failure();
        file.reset();
        if (failure.empty() && !pending.Commit()) failure = "cannot save " + targets[i];
        if (!failure.empty()) ShowFailure(failure);
        break;
      }
      default: CopyFromCache(urls[i], targets[i]); break;
    }
  }
  if (stopRequested_) return;
  if (form_.AutoClose()) form_.HideAndClear();
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

void TDownloadDriver::CopyFromCache(const std::string& url, const std::string& target) {
  const std::vector<CachedResponse> found =
      CacheStore ? CacheStore->Find(url, true) : std::vector<CachedResponse>();
  if (found.empty()) {
    form_.SetGaugeProgress(0);
    form_.SetStatusText("Not in the cache: " + url);
    form_.SetStatusVisible(true);
    return;
  }
  std::string error;
  std::uint64_t size = 0;
  if (!UrlCacheStore::CopyBody(found.front(), target, error, &size)) {
    ShowFailure(error);
    return;
  }
  form_.SetGaugeProgress(0);
  form_.SetStatusText(ReceivedText(static_cast<std::int64_t>(size)) + itemNote_);
  form_.SetStatusVisible(true);
}

void TDownloadDriver::ShowFailure(const std::string& reason) {
  form_.SetGaugeProgress(0);
  form_.SetStatusText("Download failed: " + reason);
  form_.SetStatusVisible(true);
}

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

void TDownloadDriver::HttpCli1DocEnd(THttpCli*) {
  form_.SetStatusText("Download Complete" + itemNote_);
  form_.SetStatusVisible(true);
  form_.SetGaugeProgress(0);
}

}  // namespace tavimo
