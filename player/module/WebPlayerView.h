#pragma once
// The preview area's web view: one page that runs the Flash emulator (Ruffle) and is kept for
// every later movie, so only the first preview pays for starting the web engine.
#include <QObject>
#include <QPointer>
#include <QStringList>

#include "player/PlayerView.h"

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace tavimo {

class PlayerSchemeHandler;

class WebPlayerView final : public QObject, public PlayerView {
 public:
  WebPlayerView(QWidget* parent, const QString& ruffleDir);
  ~WebPlayerView() override;

  QWidget* Widget() override;
  void ShowMovie(const std::string& base, std::string bytes) override;
  void ShowNothing() override;
  void Resume() override;
  void Suspend() override;

  // Registers the private scheme with the web engine; needed once, before the first profile.
  static void RegisterScheme();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Run(const QString& script);
  void PageLoaded(bool ok);
  void Watch(QObject* object);

  QWebEngineProfile* profile_ = nullptr;
  PlayerSchemeHandler* handler_ = nullptr;
  QPointer<QWebEngineView> view_;
  bool ready_ = false;
  QStringList pending_;
};

}  // namespace tavimo
