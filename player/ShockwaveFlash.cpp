#include "player/ShockwaveFlash.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStackedLayout>
#include <QStringList>
#include <QWidget>

#include <exception>
#include <utility>

#include "net/MovieFetcher.h"
#include "player/PlayerView.h"

namespace tavimo {

namespace {

CreatePlayerViewFunction LoadPlayerModule() {
  QStringList candidates;
  const QString fromEnv = qEnvironmentVariable("TAVIMO_PLAYER_MODULE");
  if (!fromEnv.isEmpty()) candidates << fromEnv;
  const QString programDir = QCoreApplication::applicationDirPath();
  candidates << programDir + QStringLiteral("/libtavimo_player.so");
#ifdef TAVIMO_PLAYER_MODULE_RELATIVE
  // Installed beside the program under the same prefix, wherever that prefix is.
  candidates << programDir + QStringLiteral("/../" TAVIMO_PLAYER_MODULE_RELATIVE);
#endif
#ifdef TAVIMO_PLAYER_MODULE_BUILT
  candidates << QStringLiteral(TAVIMO_PLAYER_MODULE_BUILT);
#endif
#ifdef TAVIMO_PLAYER_MODULE_INSTALLED
  candidates << QStringLiteral(TAVIMO_PLAYER_MODULE_INSTALLED);
#endif
  for (const QString& path : candidates) {
    QLibrary library(path);  // never unloaded: the web engine cannot be unloaded safely
    if (!library.load()) continue;
    if (auto create = reinterpret_cast<CreatePlayerViewFunction>(library.resolve(kCreatePlayerViewSymbol))) {
      return create;
    }
  }
  qWarning("Tavimo: the Flash player module could not be loaded");
  return nullptr;
}

}  // namespace

// Loads the player module once per process; null when it cannot be loaded (missing module or
// emulator files), in which case the area stays empty.
PlayerView* CreatePlayerView(QWidget* parent) {
  static const CreatePlayerViewFunction create = LoadPlayerModule();
  return create ? create(parent) : nullptr;
}

TShockwaveFlash::TShockwaveFlash(QWidget* host, MovieFetcher& fetcher, PlayerViewMaker makeView)
    : host_(host),
      fetcher_(fetcher),
      makeView_(std::move(makeView)),
      self_(std::make_shared<TShockwaveFlash*>(this)) {}

TShockwaveFlash::~TShockwaveFlash() {
  self_.reset();
  view_.reset();
  delete placeholder_.data();
  if (host_) delete layout_;
}

bool TShockwaveFlash::IsBlankName(const std::string& url) { return url.empty() || url == "blank.swf"; }

bool TShockwaveFlash::LooksLikeFlashMovie(const std::string& bytes) {
  if (bytes.size() < 8) return false;
  const std::string signature = bytes.substr(0, 3);
  return signature == "FWS" || signature == "CWS" || signature == "ZWS";
}

void TShockwaveFlash::CreateView() {
  if (view_ || viewFailed_ || !host_) return;
  layout_ = new QStackedLayout(host_);
  layout_->setContentsMargins(0, 0, 0, 0);
  placeholder_ = new QWidget(host_);
  placeholder_->setAutoFillBackground(true);
  layout_->addWidget(placeholder_);
  layout_->setCurrentWidget(placeholder_);

  view_.reset(makeView_ ? makeView_(host_) : nullptr);
  if (!view_ || !view_->Widget()) {
    view_.reset();
    viewFailed_ = true;
    return;
  }
  layout_->addWidget(view_->Widget());
  layout_->setCurrentWidget(placeholder_);
  view_->OnReady = [this] {
    if (view_ && layout_) layout_->setCurrentWidget(view_->Widget());
  };
}

void TShockwaveFlash::Movie(const std::string& url) {
  const std::uint64_t generation = ++generation_;
  url_ = url;
  playing_ = true;  // a new movie starts playing, as the control does
  if (IsBlankName(url)) {
    fetcher_.Cancel();  // a movie still on its way would only be thrown away
    if (view_) view_->ShowNothing();
    return;
  }
  CreateView();
  if (!view_) return;  // no player on this machine: the area stays empty
  // The previous movie goes at once; the new one shows when its bytes arrive.
  view_->ShowNothing();
  std::weak_ptr<TShockwaveFlash*> self = self_;
  try {
    fetcher_.Fetch(url, [self, generation](bool ok, std::string bytes) {
      if (auto player = self.lock()) (*player)->Arrived(generation, ok, std::move(bytes));
    });
  } catch (const std::exception&) {
    // A URL the network layer refuses (malformed, busy client) is a movie that cannot be
    // fetched: the area stays empty, and no error box interrupts the click that asked for it.
  }
}

void TShockwaveFlash::Arrived(std::uint64_t generation, bool ok, std::string bytes) {
  if (generation != generation_ || !view_) return;  // a later Movie replaced this one
  if (!ok || !LooksLikeFlashMovie(bytes)) return;   // the area stays empty
  view_->ShowMovie(url_, std::move(bytes));
  if (!playing_) view_->Suspend();
}

void TShockwaveFlash::Play() {
  playing_ = true;
  if (view_) view_->Resume();
}

void TShockwaveFlash::Stop() {
  playing_ = false;
  if (view_) view_->Suspend();
}

}  // namespace tavimo
