#pragma once
// Saving Flash items as files: the checked items (Download button) or the selected one (item
// menu), one after the other into the folder of the selected category, through the file
// getter (may answer from a cache) or through the own HTTP client, as the download option says.
// The root and the category folder are created with their parents when a command starts.
// An item is saved only when it arrived whole with a success status (both ways write into a
// temporary file that replaces the target at the end); a failure is said in the status panel
// and the batch goes on. A batch in which any item failed leaves the window as it is (no
// auto-close) with the failures named in the status panel. Two items of one batch with the
// same name do not overwrite each other: the later is saved as "name (2).swf" (BatchNames).
// "Copy from Cache Directly" copies each item's body from the URL cache (the newest entry of
// its URL, or of its URL with a query when the cache search listed it cut); an item in no
// cache is said in the status panel and the batch goes on.
#include <cstdint>
#include <string>
#include <vector>

#include "detect/FormStatus.h"
#include "platform/MovieLimit.h"
#include "download/BatchNames.h"

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

// What became of the items of one batch.
struct BatchOutcome {
  int items = 0;  // items tried
  int saved = 0;
  std::vector<std::string> failures;  // "White.swf: 404 Not Found", in batch order
  bool stopped = false;               // Stop ended the batch
};
// "2 of 3 saved; White.swf: 404 Not Found" (each failure after a "; ").
std::string BatchFailureText(const BatchOutcome& outcome);

class TDownloadDriver {
 public:
  // Takes over the events of both clients, as the main window's layout assigns them.
  TDownloadDriver(DownloadForm& form, THTTPGet& httpgetfile, THttpCli& HttpCli1);

  // The folder the items of one command go to; always ends with "/".
  std::string ItemFolder();
  // ItemFolder, created with its parents; empty with the reason in `error` when the category
  // cannot name a folder inside the root or the folder cannot be made.
  std::string ReadyItemFolder(std::string& error);
  // The URL cache for "Copy from Cache Directly"; without one every item is "not in the cache".
  UrlCacheStore* CacheStore = nullptr;
  // The most bytes an item fetched by the own client may have once its content coding is
  // undone; past it the item fails with the reason (the moviebytes limit; the file getter
  // has its own).
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;
  void butdownloadClick();
  void DownloadthisFlashItem1Click();
  // Raise "HTTP component is busy" while a batch or either client is at work, before
  // anything is touched; the running batch goes on.
  // Each item's outcome is said in the status panel; the batch as a whole is left to the
  // caller (the commands name the failures or auto-close).
  BatchOutcome DownloadItems(const std::vector<std::string>& urls, const std::vector<std::string>& paths);
  // The names taken by the batches of this driver; none: each batch has its own. tavimo-scan
  // shares one set among all its pages, so no movie of a run overwrites another.
  BatchNames* SharedNames = nullptr;
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
  // DownloadItems for the save-as names of the list, into `folder` (ends with "/"); a name that
  // is no plain file name is a failed item.
  BatchOutcome DownloadNamed(const std::string& folder, const std::vector<std::string>& urls,
                             const std::vector<std::string>& names);
  // Saves one item; the reason it failed, empty when it was saved.
  std::string SaveItem(const std::string& url, const std::string& target);
  std::string SaveFromInternet(const std::string& url, const std::string& target);
  // Mode 1: the reason the item just fetched is not whole, empty when it is.
  std::string HttpCli1Failure() const;
  void ShowStatus(const std::string& text);
  void ShowFailure(const std::string& reason);
  std::string CopyFromCache(const std::string& url, const std::string& target);
  // The end of a command's batch: the failures named, or auto-close.
  void FinishCommand(const BatchOutcome& outcome);

  bool running_ = false;
  bool stopRequested_ = false;
  std::string itemNote_;  // appended to the item's final status (a changed name)
};

}  // namespace tavimo
