#pragma once
// The page scan: the address in the address field becomes the list of Flash items. Pass by
// pass it fetches the pages (the first pass the address itself, each later pass the frames the
// previous one found) into one stream per pass, extracts the pass's Flash links into the link
// list file, appends them in that order to the item sink, and follows the frames. Depending on the detection
// option the cache search adds the cached movies of the page's host, or lists the whole cache
// without fetching anything.
//
// Bounds: an address is fetched at most once per scan, a scan fetches at most MaxPages pages,
// at most MaxPageBytes of each page and MaxScanBytes of all its pages are kept. The final status
// names the pages that could not be fetched and the bound that stopped the scan. The address is
// the field's text made usable (UsableScanAddress): one without a scheme is an http address, and
// one that is not http or https ends the scan at once with the reason in the panel.
// A scan started while another one waits raises "HTTP component is busy" before it touches
// anything, and the waiting one goes on. Stop (Esc, hiding, closing) ends a scan.
// After a failure the idle state is restored (Go enabled, busy timer off, panel visible) and
// the error goes on to the caller, which shows it.
#include <cstdint>
#include <string>
#include <vector>

#include "detect/FormStatus.h"

namespace tavimo {

class ItemSink;
class TMemoLines;
class THttpCli;
class TScanReport;

// What the scan needs of the main window beyond its status foot.
class ScanForm : public virtual FormStatus {
 public:
  virtual std::string AddressText() const = 0;  // edturl, read afresh at every use
  virtual int DetectMode() const = 0;
  virtual void SetBusyTimerEnabled(bool enabled) = 0;  // Timer2
  virtual void SetGoEnabled(bool enabled) = 0;         // butgo's Enable
  // Sets ListAllCache and runs the cache search, which appends to the item list.
  virtual void StartCacheSearch(bool listAllCache) = 0;
  // A fetching scan ended with its final status shown and the items listed (not called for a
  // stopped or failed scan, nor for "list all cache"); anyPageFailed when some page could not
  // be fetched. The window decides here what its preview area plays.
  virtual void ScanFinished(bool anyPageFailed) = 0;
};

class TPageScan {
 public:
  // Pages fetched by one scan in all, frames included (default 100): a site that frames pages
  // without end, or a frame chain deeper than anyone builds, ends there.
  int MaxPages = 100;
  // Bytes of one page kept for the link search (default 16 MiB); a longer page is cut there
  // and counted as failed.
  std::int64_t MaxPageBytes = std::int64_t{16} << 20;
  // Bytes of all the pages of one scan kept for the link search, every frame and pass counted
  // (default 64 MiB): many frames each just under MaxPageBytes must not add up to gigabytes. The
  // page that reaches it is cut there and the scan fetches nothing more.
  static constexpr std::int64_t kDefaultMaxScanBytes = std::int64_t{64} << 20;
  std::int64_t MaxScanBytes = kDefaultMaxScanBytes;
  // Busy-timer ticks (seconds) one page may take before the panel names the address Tavimo is
  // waiting for (default 3).
  int WaitNoticeTicks = 3;

  TPageScan(ScanForm& form, ItemSink& items, TMemoLines& Memo1, THttpCli& HttpCli2);

  // The scan; returns when it is complete.
  void butgoClick();
  // One step of the busy animation: 60, 70, 80, 60, ... one per tick. A page that keeps the
  // scan waiting for WaitNoticeTicks ticks brings the panel back with its address.
  void Timer2Timer();
  // Ends a running scan: the request under way is aborted, nothing more is fetched, and the
  // scan returns without touching the item list, the link list file or the window again (the
  // window may be closing); the panel says the scan was stopped. Does nothing when no scan
  // runs.
  void Stop();
  bool Running() const { return running_; }

  // The link list file the passes write (tests point it elsewhere through the XDG variables).
  std::string LinkListFile() const;
  // Also lists references with a query or fragment after ".swf" (off by default).
  bool WithQuery = false;
  // The window keeps each pass's links in the link list file; a scan without a window hands
  // them to the sink directly (the same rows, without a file write per page).
  bool WriteLinkList = true;
  // The pass under way (1 = the address itself, 2 = its frames, ...); 0 outside the passes.
  int CurrentPass() const { return pass_; }
  // The address the scan fetches: the field's text made usable ("" when it is refused).
  std::string Address() const;

 private:
  // The passes, to the final status; returns early when the scan was stopped.
  void fetchPasses();
  // Fetches and extracts one pass; false when the scan was stopped during it.
  bool RunPass(const std::vector<std::string>& fetchList, TScanReport& report,
               std::vector<std::string>& frames);

  int pass_ = 0;
  std::int64_t scanBytes_ = 0;  // page bytes kept by the scan so far
  ScanForm& form_;
  ItemSink& items_;
  TMemoLines& Memo1_;
  THttpCli& HttpCli2_;
  bool running_ = false;
  bool stopRequested_ = false;
  std::string waitingFor_;  // the address being fetched, empty between fetches
  int waitTicks_ = 0;
};

}  // namespace tavimo
