#include "tests/player/PlayerTestSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace tavimo::test {

void NetworkMovieFetcher::Fetch(const std::string& url, Answer answer) {
  QNetworkReply* reply = manager_.get(QNetworkRequest(QUrl(QString::fromStdString(url))));
  QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, answer] {
    reply->deleteLater();
    ++answered;
    const QByteArray body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError) {
      answer(false, {});
    } else {
      answer(true, body.toStdString());
    }
  });
}

void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > ms) return false;
    Pump(10);
  }
  return true;
}

}  // namespace tavimo::test
