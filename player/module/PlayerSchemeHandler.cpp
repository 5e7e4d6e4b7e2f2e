#include "player/module/PlayerSchemeHandler.h"

#include <QBuffer>
#include <QFile>
#include <QUrl>
#include <QWebEngineUrlRequestJob>

#include <utility>

namespace tavimo {

PlayerSchemeHandler::PlayerSchemeHandler(QString ruffleDir, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), ruffleDir_(std::move(ruffleDir)) {}

QString PlayerSchemeHandler::SetMovie(QByteArray bytes) {
  movie_ = std::move(bytes);
  ++movieNumber_;
  return QStringLiteral("tavimo://player/movie/%1.swf").arg(movieNumber_);
}

QByteArray PlayerSchemeHandler::ContentType(const QString& fileName) {
  if (fileName.endsWith(QLatin1String(".wasm"))) return "application/wasm";
  if (fileName.endsWith(QLatin1String(".js"))) return "text/javascript";
  if (fileName.endsWith(QLatin1String(".html"))) return "text/html";
  if (fileName.endsWith(QLatin1String(".swf"))) return "application/x-shockwave-flash";
  return "application/octet-stream";
}

bool PlayerSchemeHandler::IsPlainName(const QString& name) {
  if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) return false;
  for (QChar c : name) {
    const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                    (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                    (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                    c == QLatin1Char('_') || c == QLatin1Char('-');
    if (!ok) return false;
  }
  return true;
}

void PlayerSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const QUrl url = job->requestUrl();
  const QString path = url.path();
  QByteArray body;
  QByteArray type;
  bool found = false;
  if (url.host() == QLatin1String("player")) {
    if (path == QLatin1String("/index.html")) {
      QFile page(QStringLiteral(":/tavimo/player/player.html"));
      found = page.open(QIODevice::ReadOnly);
      body = page.readAll();
      type = "text/html";
    } else if (path.startsWith(QLatin1String("/ruffle/"))) {
      const QString name = path.mid(8);
      QFile file(ruffleDir_ + QLatin1Char('/') + name);
      found = IsPlainName(name) && file.open(QIODevice::ReadOnly);
      if (found) body = file.readAll();
      type = ContentType(name);
    } else if (path == QStringLiteral("/movie/%1.swf").arg(movieNumber_) && movieNumber_ > 0) {
      found = true;
      body = movie_;
      type = ContentType(path);
    }
  }
  if (!found) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  auto* buffer = new QBuffer(job);
  buffer->setData(body);
  buffer->open(QIODevice::ReadOnly);
  job->reply(type, buffer);
}

}  // namespace tavimo
