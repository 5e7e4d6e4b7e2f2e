#pragma once
// How the preview player gets a movie's bytes: through Tavimo's own network layer (its proxy,
// TLS and cache rules), never through the web engine that renders the movie.
#include <functional>
#include <string>

namespace tavimo {

class MovieFetcher {
 public:
  // ok with the body, or !ok (bytes then empty). Called exactly once, on the UI thread; it may
  // be called before Fetch returns.
  using Answer = std::function<void(bool ok, std::string bytes)>;

  virtual ~MovieFetcher() = default;
  virtual void Fetch(const std::string& url, Answer answer) = 0;
  // Abandons the fetch in flight and the waiting ones (the area went blank): each is answered
  // !ok. A fetcher whose fetches cannot be abandoned lets them run out.
  virtual void Cancel() {}
};

}  // namespace tavimo
