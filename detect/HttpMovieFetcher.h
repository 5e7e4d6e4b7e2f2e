#pragma once
// The preview player's movie bytes, fetched by Tavimo's own HTTP client (so the browser proxy
// and the TLS checks apply). Fetches run from the event loop, never inside the caller, so a
// click handler that asks for a movie returns at once. Only the latest movie matters: a new
// Fetch abandons the one in flight and any still waiting (each is answered !ok).
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpCli.h"
#include "net/MovieFetcher.h"
#include "platform/MovieLimit.h"

namespace tavimo {

// A QObject so that a pump posted to the event loop, or one waiting in Get, knows when the
// fetcher was destroyed meanwhile.
class THttpMovieFetcher : public QObject, public MovieFetcher {
 public:
  // readProxy: the settings store's ReadProxySettings (true with host and port when set).
  using ProxyReader = std::function<bool(std::string& host, std::string& port)>;

  // Bytes of one movie fetched for the preview (the movie bound, a setting); a larger movie is
  // not shown and OnNotShown says why.
  std::int64_t MaxMovieBytes = kDefaultMovieBytes;
  // Told, with a sentence for the user, when a movie asked for is not shown: it could not be
  // fetched (the reason: "404 Not Found", "host not found" ...) or it passed the bound. A fetch
  // abandoned for a newer one is not reported.
  std::function<void(const std::string& url, const std::string& text)> OnNotShown;

  explicit THttpMovieFetcher(ProxyReader readProxy = {});
  ~THttpMovieFetcher() override;

  void Fetch(const std::string& url, Answer answer) override;
  void Cancel() override;
  THttpCli& Client() { return client_; }

 private:
  struct Request {
    std::string url;
    Answer answer;
  };
  void Pump();
  void Run(Request request);
  void DropWaiting();

  ProxyReader readProxy_;
  THttpCli client_;
  std::unique_ptr<Request> waiting_;  // the latest movie not yet started
  bool running_ = false;
  bool superseded_ = false;  // the fetch in flight was replaced by a later one
};

}  // namespace tavimo
