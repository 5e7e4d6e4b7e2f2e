#include "player/module/WebPlayerView.h"

#include <QChildEvent>
#include <QColor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMouseEvent>
#include <QPalette>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <algorithm>

#include "player/module/PlayerSchemeHandler.h"

namespace tavimo {

void WebPlayerView::RegisterScheme() {
  if (QWebEngineUrlScheme::schemeByName("tavimo").name() == "tavimo") return;
  QWebEngineUrlScheme scheme("tavimo");
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                  QWebEngineUrlScheme::CorsEnabled | QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
  QWebEngineUrlScheme::registerScheme(scheme);
}

WebPlayerView::WebPlayerView(QWidget* parent, const QString& ruffleDir) {
  RegisterScheme();
  profile_ = new QWebEngineProfile(this);  // off the record: the preview keeps nothing on disk
  handler_ = new PlayerSchemeHandler(ruffleDir, this);
  profile_->installUrlSchemeHandler("tavimo", handler_);
  QWebEngineSettings* settings = profile_->settings();
  settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
  settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
  settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
  // The page's private scheme counts as secure; what a movie loads by itself over http is
  // allowed as a browser page on that movie's own site would allow it.
  settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, true);

  view_ = new QWebEngineView(parent);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->setFocusPolicy(Qt::NoFocus);
  auto* page = new QWebEnginePage(profile_, view_);
  const QColor background = parent ? parent->palette().color(QPalette::Window) : QColor(Qt::white);
  page->setBackgroundColor(background);
  view_->setPage(page);
  Watch(view_);
  QObject::connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) { PageLoaded(ok); });

  QUrl url(QStringLiteral("tavimo://player/index.html"));
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("bg"), background.name());
  url.setQuery(query);
  page->load(url);
}

WebPlayerView::~WebPlayerView() {
  // The page must go before its profile.
  delete view_.data();
}

QWidget* WebPlayerView::Widget() { return view_; }

void WebPlayerView::PageLoaded(bool ok) {
  if (ready_ || !ok) return;
  ready_ = true;
  // With no movie to show yet, the emulator is compiled now rather than when the movie comes.
  const bool movieWaiting = std::any_of(pending_.begin(), pending_.end(), [](const QString& script) {
    return script.startsWith(QLatin1String("tavimoShow"));
  });
  if (!movieWaiting) view_->page()->runJavaScript(QStringLiteral("tavimoWarm();"));
  const QStringList scripts = std::move(pending_);
  pending_.clear();
  for (const QString& script : scripts) Run(script);
  if (OnReady) OnReady();
}

void WebPlayerView::Run(const QString& script) {
  if (!view_) return;
  if (!ready_) {
    pending_.append(script);
    return;
  }
  view_->page()->runJavaScript(script);
}

void WebPlayerView::ShowMovie(const std::string& base, std::string bytes) {
  const QString address = handler_->SetMovie(QByteArray(bytes.data(), qsizetype(bytes.size())));
  const QJsonArray args{address, QString::fromStdString(base)};
  Run(QStringLiteral("tavimoShow.apply(null, %1);")
          .arg(QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact))));
}

void WebPlayerView::ShowNothing() { Run(QStringLiteral("tavimoBlank();")); }
void WebPlayerView::Resume() { Run(QStringLiteral("tavimoPlay();")); }
void WebPlayerView::Suspend() { Run(QStringLiteral("tavimoStop();")); }

void WebPlayerView::Watch(QObject* object) {
  object->installEventFilter(this);
  for (QObject* child : object->children()) {
    if (child->isWidgetType()) Watch(child);
  }
}

// Right-button presses never reach the page, so the emulator's own menu stays closed. The web
// view renders in child widgets created as it loads; each is watched as it appears.
bool WebPlayerView::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ChildAdded: {
      QObject* child = static_cast<QChildEvent*>(event)->child();
      if (child->isWidgetType()) Watch(child);
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
      break;
    case QEvent::ContextMenu: return true;
    default: break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tavimo
