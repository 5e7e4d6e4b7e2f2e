#include "download/HttpGet.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

#include "platform/HttpRequest.h"

namespace tavimo {

namespace {

constexpr std::int64_t kBlockSize = 1025;
constexpr int kSpinRounds = 2000;  // a few tens of microseconds before blocking

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

bool StartsWithNoCase(const std::string& s, const char* prefix, size_t n) {
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  }
  return true;
}

// Content-Length as the worker reads it: a decimal integer, nothing else.
std::int64_t ParseLength(const std::string& text) {
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < 0) {
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  return v;
}

}  // namespace

// The one channel between a worker and the user-interface thread.
struct HttpGetHandoff {
  enum : int { kEmpty = 0, kProgress = 1, kDone = 2, kDetached = 3 };
  std::atomic<int> mailbox{kEmpty};
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
  void Drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(wakeFd, &count, sizeof count);
  }
  // The published report; written by the worker before the mailbox store that publishes it.
  THTTPGetThread* sender = nullptr;
  std::int64_t totalSize = 0;
  std::int64_t readed = 0;
  bool outcome = false;
  std::string fileName;
};

HttpGetTarget SplitHttpGetUrl(const std::string& url) {
  HttpGetTarget t{"http", {}, {}};
  std::string rest = url;
  if (StartsWithNoCase(rest, "http://", 7)) {
    rest = rest.substr(7);
  } else if (StartsWithNoCase(rest, "https://", 8)) {
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
  return t;
}

THTTPGet::THTTPGet(QObject* owner) : QObject(owner) {}

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
  w->handoff_ = h;
  // The completion path is in place before the worker runs, so even an instant failure
  // reaches it.
  handoff_ = h;
  worker_ = w;
  std::thread([w] { w->Run(); }).detach();
  if (!WaitThread) return;

  QPointer<THTTPGet> self(this);
  h->uiSpinning.store(true);
  unsigned served = 0;
  while (self && worker_ && handoff_ == h) {
    if (ServiceMailbox()) {
      // Keep the window live during a fast transfer without paying for it on every block.
      if ((++served & 1023) == 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
      continue;
    }
    bool arrived = false;
    for (int i = 0; i < kSpinRounds && !arrived; ++i) {
      arrived = h->mailbox.load(std::memory_order_acquire) != HttpGetHandoff::kEmpty;
      if (!arrived) CpuRelax();
    }
    if (arrived) continue;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!self || !worker_ || handoff_ != h) break;
    if (h->mailbox.load() != HttpGetHandoff::kEmpty) continue;
    // Nothing for a while: block in the event loop; the worker posts a wake-up.
    h->uiSpinning.store(false);
    if (h->mailbox.load() == HttpGetHandoff::kEmpty) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    h->uiSpinning.store(true);
  }
  h->uiSpinning.store(false);
}

void THTTPGet::Abort() {
  if (worker_) handoff_->stop.store(true);
}

bool THTTPGet::ServiceMailbox() {
  if (!worker_) return false;
  std::shared_ptr<HttpGetHandoff> h = handoff_;
  const int kind = h->mailbox.load(std::memory_order_acquire);
  if (kind == HttpGetHandoff::kProgress) {
    struct Release {
      HttpGetHandoff& h;
      ~Release() {
        h.mailbox.store(HttpGetHandoff::kEmpty, std::memory_order_release);
        h.mailbox.notify_one();
      }
    } release{*h};
    if (h->sender->OnProgress) h->sender->OnProgress(h->sender, h->totalSize, h->readed);
    return true;
  }
  if (kind == HttpGetHandoff::kDone) {
    const bool outcome = h->outcome;
    const std::string fileName = h->fileName;
    const std::int64_t total = h->totalSize;
    h->mailbox.store(HttpGetHandoff::kEmpty, std::memory_order_release);
    h->mailbox.notify_one();
    Complete(outcome, fileName, total);
    return true;
  }
  return false;
}

void THTTPGet::Complete(bool outcome, const std::string& fileName, std::int64_t totalSize) {
  lastOutcome_ = outcome;
  // The getter is idle again once the event has run, even if the handler throws.
  struct Idle {
    THTTPGet* g;
    ~Idle() {
      g->worker_ = nullptr;
      if (g->wakeNotifier_) g->wakeNotifier_->setEnabled(false);
    }
  } idle{this};
  if (outcome) {
    if (OnDoneFile) OnDoneFile(this, fileName, totalSize);
  } else if (OnError) {
    OnError(this);
  }
}

bool THTTPGetThread::StopRequested() const { return handoff_->stop.load(std::memory_order_relaxed); }

void THTTPGetThread::Report(int kind) {
  HttpGetHandoff& h = *handoff_;
  if (h.mailbox.load() == HttpGetHandoff::kDetached) return;
  h.sender = this;
  h.totalSize = totalSize_;
  h.readed = readed_;
  h.outcome = result_;
  if (kind == HttpGetHandoff::kDone) h.fileName = FileName;
  int expected = HttpGetHandoff::kEmpty;
  if (!h.mailbox.compare_exchange_strong(expected, kind)) return;  // detached meanwhile
  if (!h.uiSpinning.load()) h.Wake();
  for (int i = 0; i < kSpinRounds; ++i) {
    if (h.mailbox.load(std::memory_order_acquire) != kind) return;
    CpuRelax();
  }
  while (h.mailbox.load(std::memory_order_acquire) == kind) h.mailbox.wait(kind);
}

void THTTPGetThread::Run() {
  try {
    result_ = Download();
  } catch (...) {
    result_ = false;
  }
  if (StopRequested()) result_ = false;
  Report(HttpGetHandoff::kDone);
  delete this;
}

bool THTTPGetThread::Download() {
  const HttpGetTarget target = SplitHttpGetUrl(URL);
  if (StopRequested()) return false;

  HttpRequestOptions o;
  o.url = target.scheme + "://" + target.host + target.path;
  o.agent = Agent;
  o.acceptTypes = AcceptTypes;
  o.referer = Referer;
  o.userName = UserName;
  o.password = Password;
  o.postQuery = PostQuery;
  o.useCache = UseCache;
  o.proxy = SystemProxyServer();
  o.connectTimeoutSeconds = ConnectTimeout;
  o.stallTimeoutSeconds = StallTimeout;
  o.stop = &handoff_->stop;
  o.extraCaFile = ExtraCaFile;
  HttpRequest request(o);
  const bool sent = request.Send();
  if (StopRequested()) return false;
  // No response at all is a failure whatever BinaryData says: an unreachable server must not
  // look like a saved empty file.
  if (!sent) return false;

  const std::optional<std::string> length = request.QueryContentLength();
  if (StopRequested()) return false;
  if (!length && BinaryData) return false;
  if (length) totalSize_ = ParseLength(*length);

  readed_ = 0;
  std::FILE* file = std::fopen(FileName.c_str(), "wb");
  if (!file) return false;
  struct Closer {
    std::FILE*& f;
    ~Closer() {
      if (f) std::fclose(f);
    }
  } closer{file};
  static thread_local char fileBuffer[64 * 1024];
  std::setvbuf(file, fileBuffer, _IOFBF, sizeof fileBuffer);

  char block[kBlockSize];
  bool writeFailed = false;
  for (;;) {
    if (StopRequested()) return false;
    const std::int64_t n = request.Read(block, kBlockSize);
    if (n <= 0) break;
    lastBlock_ = n;
    if (std::fwrite(block, 1, static_cast<size_t>(n), file) != static_cast<size_t>(n)) {
      writeFailed = true;
      break;
    }
    readed_ += n;
    if (OnProgress) Report(HttpGetHandoff::kProgress);
  }
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  return !writeFailed && closed && totalSize_ == readed_;
}

}  // namespace tavimo
