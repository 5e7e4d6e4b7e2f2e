#pragma once
// Saving Flash items as files: the checked items (Download button) or the selected one (item
// menu), one after the other into the folder of the selected category, through the file
// getter (may answer from a cache) or through the own HTTP client, as the download option says.
// An item is saved only when it arrived whole with a success status (both ways write into a
// temporary file that replaces the target at the end); a failure is said in the status panel
// and the batch goes on. Two items of one batch with the same name do not overwrite each
// other: the later is saved as "name (2).swf".
// "Copy from Cache Directly" copies each item's body from the URL cache (the newest entry of
// its URL, or of its URL with a query when the cache search listed it cut); an item in no
// cache is said in the status panel and the batch goes on.
#include <cstdint>
#include <string>
#include <vector>

#include "detect/FormStatus.h"
#include "platform/MovieLimit.h"

namespace tavimo {

class THTTPGet;
class THTTPGetThread;
class THttpCli;
class UrlCacheStore;

// What the download commands need of the main window.
class DownloadForm : public virtual FormStatus {
 public:
  // A message box with an OK button, owned by the window (the batch waits for it).
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  virtual std::string RootFieldText() const = 0;              // edtdowndir
  virtual void SetDownloadRoot(const std::string& root) = 0;  // DownloadRoot
  // The entry of lstclass at its selected index; raises the list error
  // "List index out of bounds (-1)" when none is selected.
  virtual std::string SelectedCategory() const = 0;
  virtual int ItemCount() const = 0;
  virtual bool ItemChecked(int row) const = 0;
  virtual std::string ItemUrl(int row) const = 0;       // caption of ListView1's row
  virtual std::string ItemSaveName(int row) const = 0;  // caption of ListView2's row
  virtual int FirstSelectedItem() const = 0;            // -1 when no row is selected
  virtual int DownloadMode() const = 0;
  virtual bool AutoClose() const = 0;
  virtual void HideAndClear() = 0;
};

// value × 100 ÷ total in whole numbers, 0 when there is no (positive) total.
int GaugePercent(std::int64_t value, std::int64_t total);
// "1024 Bytes Received", "1K Bytes Received" ...
std::string ReceivedText(std::int64_t size);
// "dir/name (n).ext" for "dir/name.ext" ("dir/name (n)" without an extension).
std::string NumberedPath(const std::string& path, int n);
// The paths a batch saves to: a path met earlier in the batch becomes the first numbered one
// that no item of the batch uses.
std::vector<std::string> DistinctBatchPaths(const std::vector<std::string>& paths);

class TDownloadDriver {
 public:
  // Takes over the events of both clients, as the main window's layout assigns them.
  TDownloadDriver(DownloadForm& form, THTTPGet& httpgetfile, THttpCli& HttpCli1);

  // The folder the items of one command go to; always ends with "/".
  std::string ItemFolder();
  // The URL cache for "Copy from Cache Directly"; without one every item is "not in the cache".
  UrlCacheStore* CacheStore = nullptr;
  // The most bytes an item fetched by the own client may have once its content coding is
  // undone; past it the item fails with the reason (set from MovieBytesFrom; the file getter
  // has its own).
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;
  void butdownloadClick();
  void DownloadthisFlashItem1Click();
  // Raise "HTTP component is busy" while a batch or either client is at work, before
  // anything is touched; the running batch goes on.
  void DownloadItems(const std::vector<std::string>& urls, const std::vector<std::string>& paths);
  // Ends a running batch: the transfer under way is aborted and no further item is fetched;
  // the batch returns without hiding or clearing the window. Does nothing when idle.
  void Stop();
  bool Running() const { return running_; }

  void httpgetfileProgress(THTTPGetThread* sender, std::int64_t totalSize, std::int64_t readed);
  void httpgetfileDoneFile(THTTPGet* sender, const std::string& fileName, std::int64_t fileSize);
  void httpgetfileError(THTTPGet* sender, const std::string& reason);
  void HttpCli1DocBegin(THttpCli* sender);
  void HttpCli1DocData(THttpCli* sender, const char* buffer, std::int32_t len);
  void HttpCli1DocEnd(THttpCli* sender);

 private:
  DownloadForm& form_;
  THTTPGet& httpgetfile_;
  THttpCli& HttpCli1_;
  void ThrowIfBusy() const;
  // Mode 1: the reason the item just fetched is not whole, empty when it is.
  std::string HttpCli1Failure() const;
  void ShowFailure(const std::string& reason);
  void CopyFromCache(const std::string& url, const std::string& target);

  bool running_ = false;
  bool stopRequested_ = false;
  std::string itemNote_;  // appended to the item's final status (a changed name)
};

}  // namespace tavimo
