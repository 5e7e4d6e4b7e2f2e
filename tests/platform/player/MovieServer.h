#pragma once
// Test fixtures for the player: a small HTTP/1.0 server on 127.0.0.1 serving files from memory,
// and a movie fetcher over Qt's network access (the product's fetcher is Tavimo's own client).
#include <QByteArray>
#include <QMap>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <string>

#include "platform/FlashPlayer.h"
#include "platform/MovieFetcher.h"

namespace tavimo::test {

class MovieServer : public QObject {
 public:
  MovieServer();
  // Serves `body` at `path` ("/a.swf"); other paths answer 404.
  void Put(const QString& path, const QByteArray& body) { files_[path] = body; }
  std::string Url(const QString& path) const;
  // The paths asked for, in order.
  const QStringList& Requests() const { return requests_; }

 private:
  void Answer(QTcpSocket* socket);
  QTcpServer server_;
  QMap<QString, QByteArray> files_;
  QStringList requests_;
};

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
