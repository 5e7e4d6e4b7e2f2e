#include "tests/platform/player/MovieServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace tavimo::test {

MovieServer::MovieServer() {
  server_.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Answer(socket); });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
}

std::string MovieServer::Url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path).toStdString();
}

void MovieServer::Answer(QTcpSocket* socket) {
  if (socket->property("answered").toBool()) return;
  QByteArray request = socket->peek(8192);
  if (!request.contains("\r\n\r\n")) return;
  socket->setProperty("answered", true);
  const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
  const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
  requests_ << path;
  QByteArray reply;
  auto it = files_.find(path);
  if (it == files_.end()) {
    reply = "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n"
            "Content-Length: 9\r\n\r\nnot found";
  } else {
    reply = "HTTP/1.0 200 OK\r\nContent-Type: application/x-shockwave-flash\r\nContent-Length: " +
            QByteArray::number(it->size()) + "\r\n\r\n" + *it;
  }
  socket->write(reply);
  socket->disconnectFromHost();
}

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
