#include "detect/HttpMovieFetcher.h"

#include <QPointer>
#include <QTimer>

#include "detect/ScanReport.h"
#include "base/Stream.h"

namespace tavimo {
namespace {

// Keeps at most `limit` bytes; more ends the request (the client cannot store the rest).
class BoundedMovieStream : public TMemoryStream {
 public:
  explicit BoundedMovieStream(std::int64_t limit) : limit_(limit) {}
  bool LimitHit() const { return limitHit_; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (Size() + count > limit_) {
      limitHit_ = true;
      throw EStreamError("movie larger than the preview's bound");
    }
    return TMemoryStream::Write(buffer, count);
  }

 private:
  std::int64_t limit_;
  bool limitHit_ = false;
};

}  // namespace

THttpMovieFetcher::THttpMovieFetcher(ProxyReader readProxy) : readProxy_(std::move(readProxy)) {}

THttpMovieFetcher::~THttpMovieFetcher() { client_.Abort(); }

void THttpMovieFetcher::DropWaiting() {
  if (!waiting_) return;
  Answer dropped = std::move(waiting_->answer);
  waiting_.reset();
  if (dropped) dropped(false, {});
}

void THttpMovieFetcher::Cancel() {
  DropWaiting();
  if (running_) {
    superseded_ = true;
    client_.Abort();
  }
}

void THttpMovieFetcher::Fetch(const std::string& url, Answer answer) {
  // Only the newest request is worth its bytes: what waited is dropped, what runs is aborted.
  DropWaiting();
  waiting_ = std::make_unique<Request>(Request{url, std::move(answer)});
  if (running_) {
    superseded_ = true;
    client_.Abort();
    return;  // the running pump takes the new one next
  }
  QTimer::singleShot(0, this, [this] { Pump(); });
}

void THttpMovieFetcher::Pump() {
  if (running_) return;
  running_ = true;
  const QPointer<THttpMovieFetcher> self(this);
  while (waiting_) {
    std::unique_ptr<Request> request = std::move(waiting_);
    Run(std::move(*request));
    if (!self) return;  // destroyed while Get waited
  }
  running_ = false;
}

void THttpMovieFetcher::Run(Request request) {
  const QPointer<THttpMovieFetcher> self(this);
  BoundedMovieStream body(MaxMovieBytes);
  superseded_ = false;
  bool ok = false;
  std::string failure;
  try {
    std::string host, port;
    if (readProxy_ && readProxy_(host, port)) {
      client_.Proxy = host;
      client_.ProxyPort = port;
    }
    client_.URL = request.url;
    client_.RcvdStream = &body;
    client_.Get();
    failure = FetchFailureText(client_.StatusCode(), client_.ReasonPhrase(), client_.RequestDoneError());
    ok = failure.empty();
  } catch (const std::exception& e) {
    failure = e.what();  // a bad address or a proxy read error
  }
  if (!self) return;
  client_.RcvdStream = nullptr;
  if (body.LimitHit()) {
    failure =
        "the movie is larger than " + std::to_string(MaxMovieBytes) + " bytes, the most the preview fetches";
  }
  ok = ok && !superseded_ && !body.LimitHit();
  if (!ok && !superseded_ && OnNotShown) {
    OnNotShown(request.url,
               "Preview: " + (failure.empty() ? std::string("the movie could not be fetched") : failure));
  }
  request.answer(ok, ok ? std::string(body.View()) : std::string());
}

}  // namespace tavimo
