#pragma once
// Test fixtures for the player: a movie fetcher over Qt's network access (the product's fetcher
// is Tavimo's own client), event-loop waits and the window's preview step. Movies are served by
// the shared test server.
#include <QNetworkAccessManager>

#include <functional>
#include <string>

#include "player/FlashPlayer.h"
#include "net/MovieFetcher.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {

class NetworkMovieFetcher : public MovieFetcher {
 public:
  void Fetch(const std::string& url, Answer answer) override;
  int answered = 0;  // answers given so far

 private:
  QNetworkAccessManager manager_;
};

// Runs the event loop for `ms`, or until `condition` holds (false after `ms`).
void Pump(int ms);
bool WaitUntil(const std::function<bool()>& condition, int ms = 5000);

// The main window's preview step.
inline void Preview(FlashPlayer& player, const std::string& url) {
  player.Stop();
  player.Movie(url);
  player.Play();
}

}  // namespace tavimo::test
