#include "detect/PageScan.h"

#include <QScopeGuard>

#include <algorithm>
#include <unordered_set>

#include "detect/ItemSink.h"
#include "detect/LinkExtractor.h"
#include "detect/MemoLines.h"
#include "detect/ScanAddress.h"
#include "detect/ScanReport.h"
#include "net/HttpCli.h"
#include "platform/Paths.h"
#include "base/Stream.h"
#include "base/EventWait.h"

namespace tavimo {
namespace {

// The pass stream as the page client sees it: it keeps at most `limit` bytes of each page and
// at most `scanLimit` bytes of all the scan's pages (counted in `scanBytes`), and refuses the
// rest, which ends that request (the page client reports a stream that cannot take the bytes).
// What came before the bound stays in the pass.
class BoundedPageStream : public TStream {
 public:
  BoundedPageStream(TMemoryStream& pass, std::int64_t limit, std::int64_t scanLimit, std::int64_t& scanBytes)
      : pass_(pass), limit_(limit), scanLimit_(scanLimit), scanBytes_(scanBytes) {}
  void NextPage() { pageBytes_ = 0, limitHit_ = false; }
  bool LimitHit() const { return limitHit_; }
  bool ScanLimitHit() const { return scanLimitHit_; }
  std::string LimitText() const {
    return scanLimitHit_ ? "cut short at the scan's limit"
                         : "page larger than " + std::to_string(limit_) + " bytes, the most a scan keeps";
  }

  std::int64_t Read(void* buffer, std::int64_t count) override { return pass_.Read(buffer, count); }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t pageRoom = std::max<std::int64_t>(limit_ - pageBytes_, 0);
    const std::int64_t scanRoom = std::max<std::int64_t>(scanLimit_ - scanBytes_, 0);
    const std::int64_t room = std::min(pageRoom, scanRoom);
    if (count > room) {
      pass_.WriteBuffer(buffer, room);
      pageBytes_ += room;
      scanBytes_ += room;
      limitHit_ = true;
      scanLimitHit_ = scanRoom < pageRoom;
      throw EStreamError(LimitText());
    }
    pageBytes_ += count;
    scanBytes_ += count;
    return pass_.Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override { return pass_.Seek(offset, origin); }
  std::int64_t Size() override { return pass_.Size(); }
  void SetSize(std::int64_t size) override { pass_.SetSize(size); }

 private:
  TMemoryStream& pass_;
  std::int64_t limit_;
  std::int64_t scanLimit_;
  std::int64_t& scanBytes_;
  std::int64_t pageBytes_ = 0;
  bool limitHit_ = false;
  bool scanLimitHit_ = false;
};

}  // namespace

TPageScan::TPageScan(ScanForm& form, ItemSink& items, TMemoLines& Memo1, THttpCli& HttpCli2)
    : form_(form), items_(items), Memo1_(Memo1), HttpCli2_(HttpCli2) {}

std::string TPageScan::LinkListFile() const { return LinkListFilePath(); }

std::string TPageScan::Address() const { return UsableScanAddress(form_.AddressText()).address; }

void TPageScan::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  HttpCli2_.Abort();
}

void TPageScan::butgoClick() {
  const bool fetches = form_.DetectMode() != 2;
  // The client and the pass stream belong to the scan that waits: a second one must not
  // re-aim the client or detach that stream, so it fails before it touches anything and the
  // waiting scan goes on to the end of its page.
  if (fetches && (running_ || HttpCli2_.State() != httpReady)) {
    throw EHttpException("HTTP component is busy", 1);
  }
  // The flags describe the scan on top of the stack; a cache-only scan started inside another
  // one's wait leaves them as the outer one expects.
  const bool wasRunning = running_, wasStopped = stopRequested_;
  running_ = true;
  stopRequested_ = false;
  const auto restore = qScopeGuard([this, wasRunning, wasStopped] {
    running_ = wasRunning;
    stopRequested_ = wasStopped || stopRequested_;
    waitingFor_.clear();
  });
  items_.Clear();
  form_.SetGaugeProgress(50);
  scanBytes_ = 0;
  // An address the page client cannot fetch is said at once, in the panel's own words.
  const std::string refusal = fetches ? UsableScanAddress(form_.AddressText()).refusal : std::string();
  if (!refusal.empty()) {
    form_.SetStatusText(refusal);
    form_.SetStatusVisible(true);
    form_.ScanFinished(true);
    return;
  }

  form_.SetStatusText(" Loading ");
  form_.SetBusyTimerEnabled(true);
  form_.SetStatusVisible(true);
  form_.SetGoEnabled(false);
  // Whatever stops the scan, the window goes back to idle before the error is shown.
  auto idle = qScopeGuard([this] {
    form_.SetGoEnabled(true);
    form_.SetBusyTimerEnabled(false);
    form_.SetStatusVisible(true);
  });

  if (!fetches) {
    form_.StartCacheSearch(true);
    idle.dismiss();
    form_.SetGoEnabled(true);
    form_.SetBusyTimerEnabled(false);
    form_.SetStatusText("Finished");
    return;
  }

  // A failure that ends the scan (the link list file cannot be written, an address without a
  // host) is shown by the caller; the panel says it too instead of " Loading ".
  try {
    fetchPasses();
  } catch (const std::exception& e) {
    form_.SetStatusText(e.what());
    throw;
  }
}

void TPageScan::fetchPasses() {
  TScanReport report;
  std::unordered_set<std::string> fetched;
  std::vector<std::string> fetchList{Address()};
  int passes = 0;
  while (!fetchList.empty()) {
    // Each address once per scan, and no more than MaxPages in all.
    std::vector<std::string> pass;
    for (std::string& address : fetchList) {
      if (address.empty() || fetched.count(address)) continue;
      if (static_cast<int>(fetched.size()) >= MaxPages) {
        report.PageBoundHit(MaxPages);
        break;
      }
      fetched.insert(address);
      pass.push_back(std::move(address));
    }
    if (pass.empty() && fetched.empty()) pass.push_back({});  // an empty address: empty text
    if (pass.empty()) break;
    std::vector<std::string> frames;
    pass_ = ++passes;
    const bool whole = [&] {
      const auto end = qScopeGuard([this] { pass_ = 0; });
      return RunPass(pass, report, frames);
    }();
    if (!whole) {
      form_.SetStatusText("Stopped");  // nothing else of the window is touched
      return;
    }
    fetchList = std::move(frames);
    if (scanBytes_ >= MaxScanBytes && !fetchList.empty()) {
      report.ScanBytesBoundHit(MaxScanBytes);
      break;
    }
  }

  if (form_.DetectMode() == 1) form_.StartCacheSearch(false);
  form_.SetGoEnabled(true);
  form_.SetStatusText(report.FinishedText());
  form_.ScanFinished(report.Failed() > 0);
  form_.SetBusyTimerEnabled(false);
  form_.SetStatusVisible(true);
}

bool TPageScan::RunPass(const std::vector<std::string>& fetchList, TScanReport& report,
                        std::vector<std::string>& frames) {
  TMemoryStream passText;
  BoundedPageStream stream(passText, MaxPageBytes, MaxScanBytes, scanBytes_);
  for (const std::string& address : fetchList) {
    if (address.empty()) continue;
    std::string host, port;
    if (form_.ReadProxySettings(host, port)) {
      HttpCli2_.Proxy = host;
      HttpCli2_.ProxyPort = port;
    }
    HttpCli2_.URL = address;
    HttpCli2_.RcvdStream = &stream;
    stream.NextPage();
    waitingFor_ = address;
    waitTicks_ = 0;
    {
      // The stream lives in this pass only; the client lets go of it however Get ends.
      const auto detach = qScopeGuard([this] {
        HttpCli2_.RcvdStream = nullptr;
        waitingFor_.clear();
      });
      HttpCli2_.Get();
    }
    if (stopRequested_) return false;
    report.PageFetched(stream.LimitHit() ? stream.LimitText()
                                         : FetchFailureText(HttpCli2_.StatusCode(), HttpCli2_.ReasonPhrase(),
                                                            HttpCli2_.RequestDoneError()));
    ProcessMessages();
    if (stopRequested_) return false;
    if (stream.ScanLimitHit()) {  // nothing more of this scan is kept
      report.ScanBytesBoundHit(MaxScanBytes);
      break;
    }
  }
  LoadMemoFromStream(Memo1_, passText);
  passText.SetSize(0);  // the memo holds the pass now
  // The address field is read afresh at each use: an edit made while a page loaded counts.
  if (WriteLinkList) {
    ExtractSwfLinks(Memo1_.Text(), Address(), WithQuery);
    AppendLinkList(items_, LinkListFile(), WithQuery);
  } else {
    for (const std::string& link : SwfLinkList(Memo1_.Text(), Address(), WithQuery)) {
      items_.AppendItem(link, WithQuery ? QuerySaveAsName(link) : DefaultSaveAsName(link));
    }
  }
  frames = ExtractFrameLinks(Memo1_.Text(), Address());
  return true;
}

void TPageScan::Timer2Timer() {
  if (!waitingFor_.empty() && ++waitTicks_ >= WaitNoticeTicks) {
    // A server that does not answer shows itself; the gauge lies under the panel meanwhile.
    form_.SetStatusText("Waiting for " + waitingFor_ + " (Esc stops the scan)");
    form_.SetStatusVisible(true);
    return;
  }
  form_.SetStatusVisible(false);
  int value = std::min(form_.GaugeProgress() + 10, 100);
  if (value > 80) value = 60;
  form_.SetGaugeProgress(value);
}

}  // namespace tavimo
