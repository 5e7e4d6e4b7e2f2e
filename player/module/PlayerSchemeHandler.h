#pragma once
// Answers the private `tavimo:` addresses of the player page: the page itself, the emulator's
// files from its folder on disk, and the bytes of the current movie (which Tavimo fetched).
#include <QByteArray>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

namespace tavimo {

class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  PlayerSchemeHandler(QString ruffleDir, QObject* parent);

  // Makes `bytes` the current movie and returns the address the page loads it from. An older
  // movie's address answers "not found" from then on.
  QString SetMovie(QByteArray bytes);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

  // The content type for an emulator file, by its extension.
  static QByteArray ContentType(const QString& fileName);
  // True for a plain file name (no folders, no "..").
  static bool IsPlainName(const QString& name);

 private:
  QString ruffleDir_;
  QByteArray movie_;
  quint64 movieNumber_ = 0;
};

}  // namespace tavimo
