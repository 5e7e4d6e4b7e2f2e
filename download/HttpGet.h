#pragma once
// THTTPGet downloads one URL into a file on a worker thread (THTTPGetThread) in blocks of at
// most 1025 bytes, reports progress and the outcome with one event.
//
// A download counts only when it is whole: a complete answer head (a connection that ends inside
// it is a failure), a success status (not a part, 206), a body of exactly the length the server
// named (or, without a length, one that ended cleanly), decoded when the server compressed it
// unasked, and no larger than MaxMovieBytes once decoded. The bytes go to a temporary file
// beside the target that is renamed over it at the end, so a failure leaves an existing file as
// it was and no new one.
//
// Progress never holds the worker up: it keeps the newest figures for the user-interface thread,
// which shows them whenever it gets to them (so a fast transfer raises fewer progress events
// than it reads blocks; the last figures always come before the outcome). The outcome is a
// hand-off the worker waits for. Either wakes a blocked UI thread through an eventfd; the
// waiting GetFile loop services them directly. Nothing spins when no download runs.
#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/MovieLimit.h"

namespace tavimo {

class RegistrySource;
class THTTPGet;
class THTTPGetThread;
class UrlCacheStore;
struct CachedResponse;
struct HttpGetHandoff;

using TOnProgressEvent =
    std::function<void(THTTPGetThread* sender, std::int64_t totalSize, std::int64_t readed)>;
using TOnDoneFileEvent =
    std::function<void(THTTPGet* sender, const std::string& fileName, std::int64_t fileSize)>;
// reason: what went wrong, for the user ("404 Not Found", "the connection was cut ...").
using TOnErrorEvent = std::function<void(THTTPGet* sender, const std::string& reason)>;

// Where the URL goes: scheme, server (with a port when one is written), object name.
struct HttpGetTarget {
  std::string scheme;  // "http" or "https"
  std::string host;
  std::string path;  // begins with "/"
};
// "http://" (any case) is dropped; "https://" (any case) selects https; the server is the
// text up to the first "/", the object name that "/" and the rest ("/" when there is none).
// A "user:pass@" before the server is dropped: credentials come only from UserName/Password.
HttpGetTarget SplitHttpGetUrl(const std::string& url);

class THTTPGet : public QObject {
  Q_OBJECT
 public:
  // registry: where the browser proxy is read at every GetFile, as every other client reads
  // it; it must outlive the getter.
  explicit THTTPGet(const RegistrySource& registry, QObject* owner = nullptr);
  ~THTTPGet() override;

  std::string AcceptTypes = "*/*";
  std::string Agent = "Kelvane HTTPGet";
  bool BinaryData = false;
  std::string URL;
  bool UseCache = false;
  std::string FileName;
  std::string UserName;
  std::string Password;
  std::string PostQuery;
  std::string Referer;
  bool WaitThread = false;
  TOnProgressEvent OnProgress;
  TOnDoneFileEvent OnDoneFile;
  TOnErrorEvent OnError;

  // Transfer limits (seconds); a stalled server ends the download as a failure.
  long ConnectTimeout = 30;
  long StallTimeout = 60;
  // A CA file trusted besides the system's store (tests use it for their own https server).
  std::string ExtraCaFile;
  // The URL cache: with UseCache a fresh entry of the exact URL answers without the network,
  // and every completed download is kept in its own folder (at most CacheLimitBytes there,
  // default 512 MB, the oldest leaving first). None: always the network, nothing kept.
  UrlCacheStore* CacheStore = nullptr;
  std::int64_t CacheLimitBytes = std::int64_t{512} << 20;
  // The most bytes a saved file may have once its content coding is undone: a body that would
  // pass it fails the download with the reason and leaves nothing (the moviebytes limit).
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;
  // The answer heads of one download together, relocations and interim answers included
  // (default 64 KiB, 0 = none): a longer one fails the download.
  std::size_t MaxHeaderBytes = 64 * 1024;

  // Starts a download of URL into FileName; ignored while one runs. With WaitThread it
  // returns after the outcome event, keeping the user interface live meanwhile.
  void GetFile();
  // Asks the running worker to stop; its outcome is a failure. Does not wait.
  void Abort();
  bool Busy() const { return worker_ != nullptr; }
  bool LastOutcome() const { return lastOutcome_; }
  // The reason of the last failure; empty after a success.
  const std::string& LastError() const { return lastError_; }

 private:
  // Handles what the worker has published; true when there was something.
  bool ServiceMailbox();
  void Complete(bool outcome, const std::string& fileName, std::int64_t totalSize, const std::string& reason);

  const RegistrySource& registry_;
  std::shared_ptr<HttpGetHandoff> handoff_;
  std::unique_ptr<QSocketNotifier> wakeNotifier_;
  THTTPGetThread* worker_ = nullptr;  // running worker, owned by its thread
  bool lastOutcome_ = false;
  std::string lastError_;
  // A progress handler is running: a nested event loop inside it must not run it again for
  // the same report.
  bool inProgressHandler_ = false;
};

// One download, with its own copy of the getter's settings taken at the start.
class THTTPGetThread {
 public:
  std::string AcceptTypes, Agent, URL, FileName, UserName, Password, PostQuery, Referer;
  bool BinaryData = false;
  bool UseCache = false;
  bool ToFile = true;
  TOnProgressEvent OnProgress;
  long ConnectTimeout = 30, StallTimeout = 60;
  std::string ExtraCaFile;
  UrlCacheStore* CacheStore = nullptr;
  std::int64_t CacheLimitBytes = 0;
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;
  std::size_t MaxHeaderBytes = 64 * 1024;
  std::string Proxy;       // "host:port" from the getter's registry view; empty: direct
  std::string ProxyError;  // the proxy settings could not be read: the download fails with it

 private:
  friend class THTTPGet;
  void Run();
  bool Download();
  // Answers from a fresh cache entry of the URL; nullopt when there is none to answer with.
  std::optional<bool> FromCache();
  // One cached copy: true saved, false failed for good, nullopt unreadable or damaged.
  std::optional<bool> FromCacheEntry(const CachedResponse& r);
  bool Fail(std::string reason);
  // The reason a file of `bytes` bytes is refused.
  std::string TooLarge() const;
  bool StopRequested() const;
  void ReportProgress();
  void ReportDone();

  std::shared_ptr<HttpGetHandoff> handoff_;
  std::int64_t totalSize_ = 0;
  std::int64_t readed_ = 0;
  bool result_ = false;
  std::string error_;
  std::int64_t saved_ = 0;  // bytes in the file (differs from readed_ for a compressed body)
};

}  // namespace tavimo
