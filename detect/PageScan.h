#pragma once
// The page scan: the address in the address field becomes the list of Flash items. Pass by
// pass it fetches the pages (the first pass the address itself, each later pass the frames the
// previous one found) into one stream per pass, extracts the pass's Flash links into the link
// list file, appends them to the item list, and follows the frames. Depending on the detection
// option the cache search adds the cached movies of the page's host, or lists the whole cache
// without fetching anything.
//
// Bounds the loop needs: an address is fetched at most once per scan, and a scan runs at most
// kMaxPasses passes, so a page that frames itself (or two pages framing each other) ends.
// After a failure the idle state is restored (Go enabled, busy timer off, panel visible) and
// the error goes on to the caller, which shows it.
#include <string>
#include <vector>

#include "detect/FormStatus.h"

namespace tavimo {

class FlashPlayer;
class TItemList;
class TMemoLines;
class THttpCli;

// What the scan needs of the main window beyond its status foot.
class ScanForm : public virtual FormStatus {
 public:
  virtual std::string AddressText() const = 0;  // edturl, read afresh at every use
  virtual int DetectMode() const = 0;
  virtual bool IsPreview() const = 0;
  virtual void SetBusyTimerEnabled(bool enabled) = 0;  // Timer2
  virtual void SetGoEnabled(bool enabled) = 0;         // butgo's Enable
  // Sets ListAllCache and runs the cache search, which appends to the item list.
  virtual void StartCacheSearch(bool listAllCache) = 0;
};

class TPageScan {
 public:
  static constexpr int kMaxPasses = 10;

  TPageScan(ScanForm& form, TItemList& items, TMemoLines& Memo1, THttpCli& HttpCli2,
            FlashPlayer& player);

  // The scan; returns when it is complete.
  void butgoClick();
  // One step of the busy animation: 60, 70, 80, 60, ... one per tick.
  void Timer2Timer();
  // Ends a running scan: the request under way is aborted, nothing more is fetched, and the
  // scan returns without touching the item list, the link list file or the player again (the
  // window may be closing). Does nothing when no scan runs.
  void Stop();
  bool Running() const { return running_; }

  // The link list file the passes write (tests point it elsewhere through the XDG variables).
  std::string LinkListFile() const;

 private:
  void RunPass(const std::vector<std::string>& fetchList, std::vector<std::string>& fetched,
               std::vector<std::string>& frames);

  ScanForm& form_;
  TItemList& items_;
  TMemoLines& Memo1_;
  THttpCli& HttpCli2_;
  FlashPlayer& player_;
  bool running_ = false;
  bool stopRequested_ = false;
};

}  // namespace tavimo
