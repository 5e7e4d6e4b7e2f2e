#include "download/DownloadDriver.h"

#include <sys/stat.h>

#include <memory>

#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/Dialogs.h"
#include "platform/Stream.h"

namespace tavimo {

int GaugePercent(std::int64_t value, std::int64_t total) {
  if (total <= 0) return 0;
  const std::int64_t p = value * 100 / total;
  return p < 0 ? 0 : p > 100 ? 100 : static_cast<int>(p);
}

std::string ReceivedText(std::int64_t size) {
  if (size > 1024) return std::to_string(size / 1024) + "K Bytes Received";
  return std::to_string(size) + " Bytes Received";
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

void TDownloadDriver::butdownloadClick() {
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
    CurrentDialogs().ShowMessage(form_.DialogOwner(), "No Flash item is selected",
                                 "Please check up the Flash items that you want to save.",
                                 MessageIcon::None);
    return;
  }
  DownloadItems(urls, paths);
}

void TDownloadDriver::DownloadthisFlashItem1Click() {
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
  struct Running {
    TDownloadDriver& d;
    bool wasRunning, wasStopped;
    explicit Running(TDownloadDriver& driver)
        : d(driver), wasRunning(driver.running_), wasStopped(driver.stopRequested_) {
      d.running_ = true;
      d.stopRequested_ = false;
    }
    ~Running() {
      d.running_ = wasRunning;
      d.stopRequested_ = wasStopped || d.stopRequested_;
    }
  } running{*this};
  for (size_t i = 0; i < urls.size() && i < paths.size() && !stopRequested_; ++i) {
    switch (form_.DownloadMode()) {
      case 0:
        httpgetfile_.URL = urls[i];
        httpgetfile_.FileName = paths[i];
        httpgetfile_.UseCache = true;
        httpgetfile_.GetFile();
        break;
      case 1: {
        std::string host, port;
        if (form_.ReadProxySettings(host, port)) {
          HttpCli1_.Proxy = host;
          HttpCli1_.ProxyPort = port;
        }
        HttpCli1_.URL = urls[i];
        auto file = std::make_unique<TFileStream>(paths[i], TFileStream::Mode::Create);
        HttpCli1_.RcvdStream = file.get();
        // The stream is detached and closed whether Get returns or raises.
        struct Detach {
          THttpCli& cli;
          ~Detach() { cli.RcvdStream = nullptr; }
        } detach{HttpCli1_};
        HttpCli1_.Get();
        break;
      }
      default:  // "Copy from Cache Directly" fetches nothing
        break;
    }
  }
  if (stopRequested_) return;
  if (form_.AutoClose()) form_.HideAndClear();
}

void TDownloadDriver::httpgetfileProgress(THTTPGetThread*, std::int64_t totalSize,
                                          std::int64_t readed) {
  form_.SetStatusVisible(false);
  form_.SetGaugeProgress(GaugePercent(readed, totalSize));
}

void TDownloadDriver::httpgetfileDoneFile(THTTPGet*, const std::string&, std::int64_t fileSize) {
  form_.SetGaugeProgress(0);
  form_.SetStatusText(ReceivedText(fileSize));
  form_.SetStatusVisible(true);
}

void TDownloadDriver::HttpCli1DocBegin(THttpCli*) { form_.SetStatusVisible(false); }

void TDownloadDriver::HttpCli1DocData(THttpCli* sender, const char*, std::int32_t) {
  form_.SetGaugeProgress(GaugePercent(sender->RcvdCount(), sender->ContentLength()));
}

void TDownloadDriver::HttpCli1DocEnd(THttpCli*) {
  form_.SetStatusText("Download Complete");
  form_.SetStatusVisible(true);
  form_.SetGaugeProgress(0);
}

}  // namespace tavimo
