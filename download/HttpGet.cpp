#include "download/HttpGet.h"

#include <QPointer>
#include <QScopeGuard>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <sys/eventfd.h>
#include <unistd.h>

#include "net/HttpUrl.h"
#include "platform/AtomicFile.h"
#include "platform/BackgroundPool.h"
#include "sources/cache/CacheFreshness.h"
#include "sources/cache/DownloadCache.h"
#include "sources/cache/UrlCacheStore.h"
#include "net/HttpRequest.h"
#include "base/http/MessageBody.h"
#include "compat/Registry.h"
#include "base/TextUtils.h"
#include "base/EventWait.h"

namespace tavimo {

namespace {

constexpr std::int64_t kBlockSize = 1025;
constexpr int kSpinRounds = 2000;  // a few tens of microseconds before blocking

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

// The one channel between a worker and the user-interface thread.
struct HttpGetHandoff {
  enum : int { kEmpty = 0, kDone = 2, kDetached = 3 };
  std::atomic<int> mailbox{kEmpty};
  // Progress does not wait for the user-interface thread: the worker keeps the latest figures
  // here and raises progressPending; the UI thread shows whatever is newest when it gets there.
  std::atomic<bool> progressPending{false};
  std::atomic<std::int64_t> progressTotal{0};
  std::atomic<std::int64_t> progressReaded{0};
  std::atomic<bool> uiSpinning{false};
  std::atomic<bool> stop{false};
  // The worker wakes a blocked user-interface thread through this eventfd; it lives as long
  // as either side still holds the hand-off, so a cut-loose worker never writes to a stranger.
  const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  ~HttpGetHandoff() {
    if (wakeFd >= 0) ::close(wakeFd);
  }
  void Wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd, &one, sizeof one);
  }
  bool HasNews() const { return progressPending.load() || mailbox.load() != kEmpty; }
  void Drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(wakeFd, &count, sizeof count);
  }
  THTTPGetThread* sender = nullptr;  // set before the worker starts; alive until kDone is taken
  // The outcome; written by the worker before the mailbox store that publishes it.
  std::int64_t totalSize = 0;
  bool outcome = false;
  std::string fileName;
  std::string reason;
};

HttpGetTarget SplitHttpGetUrl(const std::string& url) {
  HttpGetTarget t{"http", {}, {}};
  std::string rest = url;
  if (StartsWithNoCase(rest, "http://")) {
    rest = rest.substr(7);
  } else if (StartsWithNoCase(rest, "https://")) {
    t.scheme = "https";
    rest = rest.substr(8);
  }
  const auto slash = rest.find('/');
  if (slash == std::string::npos) {
    t.host = rest;
    t.path = "/";
  } else {
    t.host = rest.substr(0, slash);
    t.path = rest.substr(slash);
  }
  const auto at = t.host.rfind('@');
  if (at != std::string::npos) t.host.erase(0, at + 1);
  return t;
}

THTTPGet::THTTPGet(const RegistrySource& registry, QObject* owner) : QObject(owner), registry_(registry) {}

THTTPGet::~THTTPGet() {
  if (!worker_) return;
  // Stop the worker and cut it loose: it finishes on its own and raises nothing here.
  handoff_->stop.store(true);
  handoff_->mailbox.store(HttpGetHandoff::kDetached);
  handoff_->mailbox.notify_all();
}

void THTTPGet::GetFile() {
  if (worker_) return;
  auto h = std::make_shared<HttpGetHandoff>();
  wakeNotifier_ = std::make_unique<QSocketNotifier>(h->wakeFd, QSocketNotifier::Read);
  connect(wakeNotifier_.get(), &QSocketNotifier::activated, this, [this, h] {
    h->Drain();
    while (handoff_ == h && ServiceMailbox()) {
    }
  });
  auto* w = new THTTPGetThread;
  w->AcceptTypes = AcceptTypes;
  w->Agent = Agent;
  w->URL = URL;
  w->FileName = FileName;
  w->UserName = UserName;
  w->Password = Password;
  w->PostQuery = PostQuery;
  w->Referer = Referer;
  w->BinaryData = BinaryData;
  w->UseCache = UseCache;
  w->OnProgress = OnProgress;
  w->ConnectTimeout = ConnectTimeout;
  w->StallTimeout = StallTimeout;
  w->ExtraCaFile = ExtraCaFile;
  w->CacheStore = CacheStore;
  w->CacheLimitBytes = CacheLimitBytes;
  w->MaxMovieBytes = MaxMovieBytes;
  w->MaxHeaderBytes = MaxHeaderBytes;
  // Read here, on the user-interface thread that owns the registry view; a view that cannot
  // be read fails the download rather than silently going direct.
  try {
    w->Proxy = ProxyServer(registry_);
  } catch (const std::exception& e) {
    w->ProxyError = std::string("cannot read the proxy settings: ") + e.what();
  }
  w->handoff_ = h;
  h->sender = w;
  // The completion path is in place before the worker runs, so even an instant failure
  // reaches it.
  handoff_ = h;
  worker_ = w;
  // The worker deletes itself when done; a getter destroyed first stops it (see ~THTTPGet).
  BackgroundPool::Start([w] { w->Run(); });
  if (!WaitThread) return;

  QPointer<THTTPGet> self(this);
  const auto finished = [&] { return !self || !worker_ || handoff_ != h; };
  // Between batches of events this thread takes the reports itself, as long as they come, and
  // the worker skips its wake-up while uiSpinning is up. The flag is down whenever events run:
  // a dialog or message box opened by any of them runs a nested loop that only the wake-up
  // reaches. The mailbox is checked after lowering it, so no report falls between. Another
  // handler that fails meanwhile is reported as anywhere else and the wait goes on: GetFile
  // returns after its outcome event.
  const auto takeReports = [&] {
    for (;;) {
      {
        h->uiSpinning.store(true);
        const auto lower = qScopeGuard([&h] { h->uiSpinning.store(false); });
        while (!finished() && ServiceMailbox()) {
        }
      }
      if (finished()) return true;
      if (!h->HasNews()) return false;
    }
  };
  WaitUntil(takeReports, HandlerErrors::ToErrorHandler);
}

void THTTPGet::Abort() {
  if (worker_) handoff_->stop.store(true);
}

bool THTTPGet::ServiceMailbox() {
  if (!worker_) return false;
  std::shared_ptr<HttpGetHandoff> h = handoff_;
  // Progress first: the worker raises it before it publishes the outcome, so the last figures
  // are shown before the outcome event.
  if (!inProgressHandler_ && h->progressPending.exchange(false)) {
    inProgressHandler_ = true;
    const auto handled = qScopeGuard([this] { inProgressHandler_ = false; });
    const std::int64_t total = h->progressTotal.load(std::memory_order_relaxed);
    const std::int64_t readed = h->progressReaded.load(std::memory_order_relaxed);
    if (h->sender->OnProgress) h->sender->OnProgress(h->sender, total, readed);
    return true;
  }
  if (inProgressHandler_) return false;  // a nested loop inside the handler: outcome after it
  const int kind = h->mailbox.load(std::memory_order_acquire);
  if (kind == HttpGetHandoff::kDone) {
    const bool outcome = h->outcome;
    const std::string fileName = h->fileName;
    const std::int64_t total = h->totalSize;
    const std::string reason = h->reason;
    h->mailbox.store(HttpGetHandoff::kEmpty, std::memory_order_release);
    h->mailbox.notify_one();
    Complete(outcome, fileName, total, reason);
    return true;
  }
  return false;
}

void THTTPGet::Complete(bool outcome, const std::string& fileName, std::int64_t totalSize,
                        const std::string& reason) {
  lastOutcome_ = outcome;
  lastError_ = outcome ? std::string() : reason;
  // The getter is idle again once the event has run, even if the handler throws.
  const auto idle = qScopeGuard([this] {
    worker_ = nullptr;
    if (wakeNotifier_) wakeNotifier_->setEnabled(false);
  });
  if (outcome) {
    if (OnDoneFile) OnDoneFile(this, fileName, totalSize);
  } else if (OnError) {
    OnError(this, lastError_);
  }
}

bool THTTPGetThread::StopRequested() const { return handoff_->stop.load(std::memory_order_relaxed); }

void THTTPGetThread::ReportProgress() {
  HttpGetHandoff& h = *handoff_;
  h.progressTotal.store(totalSize_, std::memory_order_relaxed);
  h.progressReaded.store(readed_, std::memory_order_relaxed);
  // One wake-up per report the UI thread takes, not one per block.
  if (!h.progressPending.exchange(true) && !h.uiSpinning.load()) h.Wake();
}

void THTTPGetThread::ReportDone() {
  HttpGetHandoff& h = *handoff_;
  if (h.mailbox.load() == HttpGetHandoff::kDetached) return;
  h.outcome = result_;
  h.fileName = FileName;
  h.totalSize = saved_;
  h.reason = error_;
  int expected = HttpGetHandoff::kEmpty;
  if (!h.mailbox.compare_exchange_strong(expected, HttpGetHandoff::kDone)) return;  // detached
  if (!h.uiSpinning.load()) h.Wake();
  // The outcome event may look at this worker (the sender of the progress events): stay
  // until it has been taken.
  for (int i = 0; i < kSpinRounds; ++i) {
    if (h.mailbox.load(std::memory_order_acquire) != HttpGetHandoff::kDone) return;
    CpuRelax();
  }
  int seen;
  while ((seen = h.mailbox.load(std::memory_order_acquire)) == HttpGetHandoff::kDone) {
    h.mailbox.wait(seen);
  }
}

void THTTPGetThread::Run() {
  try {
    result_ = Download();
  } catch (const std::exception& e) {
    result_ = Fail(e.what());
  } catch (...) {
    result_ = Fail("unexpected failure");
  }
  if (StopRequested() && result_) result_ = Fail("stopped");
  ReportDone();
  delete this;
}

bool THTTPGetThread::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

std::string THTTPGetThread::TooLarge() const {
  return "the movie is larger than " + std::to_string(MaxMovieBytes) + " bytes, the most a download saves";
}

namespace {

// What a saved movie may come with: an answer that carries the object. 204/205 have no body,
// 206 is a part nobody asked for; 1xx never ends a request and 3xx is followed or failed.
bool IsSuccessStatus(long status) {
  return status >= 200 && status <= 299 && status != 204 && status != 205 && status != 206;
}

}  // namespace

std::optional<bool> THTTPGetThread::FromCache() {
  // Newest first: a fresh copy that turns out cut or damaged gives its turn to the next fresh
  // one of the same address, and only then to the network.
  const std::time_t now = std::time(nullptr);
  for (const CachedResponse& r : CacheStore->Find(URL, false)) {
    if (!IsFresh(r.head, r.responseTime, now)) continue;
    if (std::optional<bool> answered = FromCacheEntry(r)) return answered;
  }
  return std::nullopt;
}

std::optional<bool> THTTPGetThread::FromCacheEntry(const CachedResponse& r) {
  FileEntrySource source(r.file);
  if (!source.Ok()) return std::nullopt;
  totalSize_ = static_cast<std::int64_t>(
      DecodedBodySize(source, r, static_cast<std::uint64_t>(MaxMovieBytes)).value_or(r.bodyLength));
  TPendingFile pending(FileName);
  if (!pending.Ok()) return Fail("cannot create a file beside " + FileName + ": " + std::strerror(errno));
  std::string error;
  bool tooLarge = false;
  int writeError = 0;
  const bool read = ReadDecodedBody(
      source, r,
      [&](const char* data, std::size_t n) {
        if (StopRequested()) return false;
        if (saved_ + static_cast<std::int64_t>(n) > MaxMovieBytes) {
          tooLarge = true;
          return false;
        }
        if (!pending.Write(data, n)) {
          writeError = errno;
          return false;
        }
        saved_ += static_cast<std::int64_t>(n);
        readed_ = saved_;
        if (OnProgress) ReportProgress();
        return true;
      },
      error);
  if (StopRequested()) return Fail("stopped");
  if (tooLarge) return Fail(TooLarge());
  if (writeError) return Fail("cannot write " + FileName + ": " + std::strerror(writeError));
  // A damaged cached copy is no answer: the network gets its turn.
  if (!read) {
    saved_ = readed_ = 0;
    return std::nullopt;
  }
  if (!pending.Commit()) return Fail("cannot write " + FileName + ": " + std::strerror(errno));
  totalSize_ = saved_;
  return true;
}

bool THTTPGetThread::Download() {
  const HttpGetTarget target = SplitHttpGetUrl(URL);
  if (StopRequested()) return Fail("stopped");
  if (!ProxyError.empty()) return Fail(ProxyError);
  if (UseCache && CacheStore) {
    if (std::optional<bool> answered = FromCache()) return *answered;
  }

  HttpRequestOptions o;
  // Blanks, controls and non-ASCII bytes in the object name are sent %XX-encoded, as the
  // page client sends them; libcurl refuses such a URL raw.
  o.url = target.scheme + "://" + target.host + EncodeUnsafeUrlBytes(target.path);
  o.agent = Agent;
  o.acceptTypes = AcceptTypes;
  o.referer = Referer;
  o.userName = UserName;
  o.password = Password;
  o.postQuery = PostQuery;
  o.useCache = UseCache;
  o.proxy = Proxy;
  o.connectTimeoutSeconds = ConnectTimeout;
  o.stallTimeoutSeconds = StallTimeout;
  o.stop = &handoff_->stop;
  o.extraCaFile = ExtraCaFile;
  o.maxHeadBytes = MaxHeaderBytes;
  HttpRequest request(o);
  const bool sent = request.Send();
  if (StopRequested()) return Fail("stopped");
  // No response at all is a failure whatever BinaryData says: an unreachable server must not
  // look like a saved empty file.
  if (!sent) return Fail(request.ErrorText().empty() ? "no answer from the server" : request.ErrorText());
  const long status = request.StatusCode();
  if (!IsSuccessStatus(status)) {
    const std::string& why = request.ReasonPhrase();
    return Fail(std::to_string(status) + (why.empty() ? std::string() : " " + why));
  }
  // The answer's head decides how its body ends and how it is coded; its bytes decide
  // whether it is whole.
  MessageBody body(request.Framing());
  if (!body.Error().empty()) return Fail(body.Error());
  const bool named = body.Framing().kind == BodyFraming::Kind::Length;
  if (!named && BinaryData) return Fail("the server named no length");
  if (named) totalSize_ = static_cast<std::int64_t>(body.Framing().length);
  const bool coded = !body.Framing().contentCoding.empty();
  if (named && !coded && totalSize_ > MaxMovieBytes) return Fail(TooLarge());

  readed_ = 0;
  TPendingFile pending(FileName);
  if (!pending.Ok()) return Fail("cannot create a file beside " + FileName + ": " + std::strerror(errno));

  bool tooLarge = false;
  int writeError = 0;
  // Decoded bytes arrive in bounded pieces (the reader feeds the inflater in slices), so the
  // limit holds memory and the file alike, even against a compression bomb.
  const MessageBody::Sink save = [&](const char* data, std::size_t n) {
    if (saved_ + static_cast<std::int64_t>(n) > MaxMovieBytes) {
      tooLarge = true;
      return false;
    }
    if (n && !pending.Write(data, n)) {
      writeError = errno;
      return false;
    }
    saved_ += static_cast<std::int64_t>(n);
    return true;
  };
  char block[kBlockSize];
  auto step = body.Feed(block, 0, save);
  while (step == MessageBody::Result::More) {
    if (StopRequested()) return Fail("stopped");
    std::int64_t want = kBlockSize;
    // Bytes past the named length are not the object's: stop reading at it.
    if (named) want = std::min(want, totalSize_ - readed_);
    const std::int64_t n = request.Read(block, want);
    if (n < 0) {
      return Fail("the transfer broke off after " + std::to_string(readed_) + " bytes" +
                  (request.ErrorText().empty() ? std::string() : ": " + request.ErrorText()));
    }
    step = n == 0 ? body.Finish() : body.Feed(block, static_cast<std::size_t>(n), save);
    readed_ = static_cast<std::int64_t>(body.PayloadBytes());
    if (n > 0 && OnProgress) ReportProgress();
  }
  if (tooLarge) return Fail(TooLarge());
  if (writeError) return Fail("cannot write " + FileName + ": " + std::strerror(writeError));
  if (step == MessageBody::Result::Error) return Fail(body.Error());
  if (StopRequested()) return Fail("stopped");
  if (!pending.Commit()) return Fail("cannot save " + FileName + ": " + std::strerror(errno));
  if (CacheStore) {
    // Kept for later downloads of the URL; a download that cannot be kept is still a download.
    std::string ignored;
    StoreDownload(CacheStore->OwnFolder(), URL, request.Head(), FileName, CacheLimitBytes, ignored);
  }
  return true;
}

}  // namespace tavimo
