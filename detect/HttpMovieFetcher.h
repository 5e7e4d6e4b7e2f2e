#pragma once
// The preview player's movie bytes, fetched by Tavimo's own HTTP client (so the browser proxy
// and the TLS checks apply). Fetches run one after the other from the event loop, never inside
// the caller, so a click handler that asks for a movie returns at once.
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpCli.h"
#include "platform/MovieFetcher.h"

namespace tavimo {

class THttpMovieFetcher : public MovieFetcher {
 public:
  // readProxy: the settings store's ReadProxySettings (true with host and port when set).
  using ProxyReader = std::function<bool(std::string& host, std::string& port)>;

  explicit THttpMovieFetcher(ProxyReader readProxy = {});
  ~THttpMovieFetcher() override;

  void Fetch(const std::string& url, Answer answer) override;
  THttpCli& Client() { return client_; }

 private:
  void Pump();

  ProxyReader readProxy_;
  THttpCli client_;
  std::deque<std::pair<std::string, Answer>> queue_;
  bool running_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavimo
