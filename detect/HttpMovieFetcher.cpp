#include "detect/HttpMovieFetcher.h"

#include <QTimer>

#include "platform/Stream.h"

namespace tavimo {

THttpMovieFetcher::THttpMovieFetcher(ProxyReader readProxy) : readProxy_(std::move(readProxy)) {}

THttpMovieFetcher::~THttpMovieFetcher() {
  *alive_ = false;
  client_.Abort();
}

void THttpMovieFetcher::Fetch(const std::string& url, Answer answer) {
  queue_.emplace_back(url, std::move(answer));
  if (running_) return;  // the running pump takes it next
  std::weak_ptr<bool> alive = alive_;
  QTimer::singleShot(0, [this, alive] {
    if (auto a = alive.lock(); a && *a) Pump();
  });
}

void THttpMovieFetcher::Pump() {
  if (running_) return;
  running_ = true;
  std::weak_ptr<bool> alive = alive_;
  while (!queue_.empty()) {
    auto [url, answer] = std::move(queue_.front());
    queue_.pop_front();
    TMemoryStream body;
    bool ok = false;
    try {
      std::string host, port;
      if (readProxy_ && readProxy_(host, port)) {
        client_.Proxy = host;
        client_.ProxyPort = port;
      }
      client_.URL = url;
      client_.RcvdStream = &body;
      client_.Get();
      ok = client_.StatusCode() >= 200 && client_.StatusCode() < 300;
    } catch (...) {
      ok = false;  // a bad address or a proxy read error: the area just stays empty
    }
    auto a = alive.lock();
    if (!a || !*a) return;  // destroyed while Get waited
    client_.RcvdStream = nullptr;
    answer(ok, ok ? std::string(body.View()) : std::string());
  }
  running_ = false;
}

}  // namespace tavimo
