#include "detect/PageScan.h"

#include <QCoreApplication>

#include <algorithm>

#include "detect/ItemList.h"
#include "detect/LinkExtractor.h"
#include "detect/MemoLines.h"
#include "detect/PreviewStep.h"
#include "net/HttpCli.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace tavimo {

TPageScan::TPageScan(ScanForm& form, TItemList& items, TMemoLines& Memo1, THttpCli& HttpCli2,
                     FlashPlayer& player)
    : form_(form), items_(items), Memo1_(Memo1), HttpCli2_(HttpCli2), player_(player) {}

std::string TPageScan::LinkListFile() const { return LinkListFilePath(); }

void TPageScan::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  HttpCli2_.Abort();
}

void TPageScan::butgoClick() {
  // The flags describe the scan on top of the stack; a scan started inside another one's wait
  // leaves them as the outer one expects.
  struct Running {
    TPageScan& scan;
    bool wasRunning, wasStopped;
    explicit Running(TPageScan& s) : scan(s), wasRunning(s.running_), wasStopped(s.stopRequested_) {
      scan.running_ = true;
      scan.stopRequested_ = false;
    }
    ~Running() {
      scan.running_ = wasRunning;
      scan.stopRequested_ = wasStopped || scan.stopRequested_;
    }
  } running{*this};
  items_.Clear();
  form_.SetGaugeProgress(50);

  form_.SetStatusText(" Loading ");
  form_.SetBusyTimerEnabled(true);
  form_.SetStatusVisible(true);
  form_.SetGoEnabled(false);
  // Whatever stops the scan, the window goes back to idle before the error is shown.
  struct BackToIdle {
    ScanForm& form;
    bool armed = true;
    ~BackToIdle() {
      if (!armed) return;
      form.SetGoEnabled(true);
      form.SetBusyTimerEnabled(false);
      form.SetStatusVisible(true);
    }
  } idle{form_};

  if (form_.DetectMode() == 2) {
    form_.StartCacheSearch(true);
    idle.armed = false;
    form_.SetGoEnabled(true);
    form_.SetBusyTimerEnabled(false);
    form_.SetStatusText("Finished");
    return;
  }

  std::vector<std::string> fetchList{form_.AddressText()};
  std::vector<std::string> fetched;
  for (int pass = 0; pass < kMaxPasses && !fetchList.empty(); ++pass) {
    std::vector<std::string> frames;
    RunPass(fetchList, fetched, frames);
    if (stopRequested_) return;  // back to idle; nothing of the window is touched beyond that
    fetchList.clear();
    for (const std::string& f : frames) {
      if (!f.empty() && std::find(fetched.begin(), fetched.end(), f) == fetched.end() &&
          std::find(fetchList.begin(), fetchList.end(), f) == fetchList.end()) {
        fetchList.push_back(f);
      }
    }
  }

  if (form_.DetectMode() == 1) form_.StartCacheSearch(false);
  form_.SetGoEnabled(true);
  form_.SetStatusText("Finished");
  if (form_.IsPreview() && items_.Count() > 0) PreviewUrl(player_, items_.Url(0));
  idle.armed = false;
  form_.SetBusyTimerEnabled(false);
  form_.SetStatusVisible(true);
}

void TPageScan::RunPass(const std::vector<std::string>& fetchList,
                        std::vector<std::string>& fetched, std::vector<std::string>& frames) {
  TMemoryStream stream;
  for (const std::string& address : fetchList) {
    if (address.empty()) continue;
    fetched.push_back(address);
    std::string host, port;
    if (form_.ReadProxySettings(host, port)) {
      HttpCli2_.Proxy = host;
      HttpCli2_.ProxyPort = port;
    }
    HttpCli2_.URL = address;
    HttpCli2_.RcvdStream = &stream;
    struct Detach {
      THttpCli& cli;
      ~Detach() { cli.RcvdStream = nullptr; }
    } detach{HttpCli2_};
    HttpCli2_.Get();
    QCoreApplication::processEvents();
    if (stopRequested_) return;
  }
  LoadMemoFromStream(Memo1_, stream);
  ExtractSwfLinks(Memo1_.Text(), form_.AddressText());
  items_.LoadLinkList(LinkListFile());
  frames = ExtractFrameLinks(Memo1_.Text(), form_.AddressText());
}

void TPageScan::Timer2Timer() {
  form_.SetStatusVisible(false);
  int value = std::min(form_.GaugeProgress() + 10, 100);
  if (value > 80) value = 60;
  form_.SetGaugeProgress(value);
}

}  // namespace tavimo
