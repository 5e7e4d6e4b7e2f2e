#pragma once
// The preview player: a Flash emulator (Ruffle) in a web view that fills the preview area. The
// web engine is loaded on the first movie, not at start-up, and then kept warm; a quiet
// placeholder fills the area while it starts. Movies are fetched by Tavimo's own network layer.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QPointer>

#include "player/FlashPlayer.h"

class QStackedLayout;

namespace tavimo {

class MovieFetcher;
class PlayerView;

// Makes the web view inside `parent`; null when it cannot be made.
using PlayerViewMaker = std::function<PlayerView*(QWidget* parent)>;
PlayerView* CreatePlayerView(QWidget* parent);

class TShockwaveFlash : public FlashPlayer {
 public:
  // `host` is the preview area; `fetcher` must outlive the player. `makeView` defaults to the
  // web view of the player module.
  TShockwaveFlash(QWidget* host, MovieFetcher& fetcher, PlayerViewMaker makeView = CreatePlayerView);
  ~TShockwaveFlash() override;
  TShockwaveFlash(const TShockwaveFlash&) = delete;
  TShockwaveFlash& operator=(const TShockwaveFlash&) = delete;

  // Loads the movie at `url` and plays it once its bytes arrive; returns at once. "blank.swf"
  // (or an empty name) clears the area. A movie that cannot be fetched, or is no Flash movie,
  // leaves the area empty.
  void Movie(const std::string& url) override;
  void Play() override;
  void Stop() override;

  // Starts the web engine and the emulator without a movie, so that a first preview expected
  // soon (a scan has started) is as quick as a later one. Movie() does the same when needed.
  void Prepare() override { CreateView(); }

  // Whether the web view was created (it is, on the first movie other than "blank.swf").
  bool HasView() const { return view_ != nullptr; }

  static bool IsBlankName(const std::string& url);
  // The signatures of plain, zlib and LZMA compressed Flash movies.
  static bool LooksLikeFlashMovie(const std::string& bytes);

 private:
  void CreateView();
  void Arrived(std::uint64_t generation, bool ok, std::string bytes);

  QPointer<QWidget> host_;
  MovieFetcher& fetcher_;
  PlayerViewMaker makeView_;
  QPointer<QWidget> placeholder_;
  QStackedLayout* layout_ = nullptr;  // owned by the host
  std::unique_ptr<PlayerView> view_;
  bool viewFailed_ = false;
  bool playing_ = false;
  std::string url_;
  std::uint64_t generation_ = 0;
  // Fetch answers that arrive after the player is gone find this expired.
  std::shared_ptr<TShockwaveFlash*> self_;
};

// A factory for the main window: players in the given preview area, fetching through `fetcher`
// (which must outlive them), e.g. DefaultFlashPlayerFactory() = ShockwaveFlashFactory(fetcher).
inline FlashPlayerFactory ShockwaveFlashFactory(MovieFetcher& fetcher) {
  return [&fetcher](QWidget* host) -> std::unique_ptr<FlashPlayer> {
    return std::make_unique<TShockwaveFlash>(host, fetcher);
  };
}

}  // namespace tavimo
