#pragma once
// The preview player as the main window uses it: load a movie by address, play, stop. The
// desktop player renders inside a host widget the window provides; until one is installed a
// player that shows nothing stands in.
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace tavimo {

class FlashPlayer {
 public:
  virtual ~FlashPlayer() = default;
  // Makes the player load the movie at this address (or file name); returns without waiting.
  virtual void Movie(const std::string& url) = 0;
  virtual void Play() = 0;
  virtual void Stop() = 0;
  // Gets ready for a movie expected soon (a scan started, the window was called up), so that
  // the first preview is as quick as a later one. Returns at once.
  virtual void Prepare() {}
};

// Shows nothing and accepts every call.
class NullFlashPlayer : public FlashPlayer {
 public:
  void Movie(const std::string&) override {}
  void Play() override {}
  void Stop() override {}
};

// Creates the player inside the given host widget (the preview area, 248 x 131).
using FlashPlayerFactory = std::function<std::unique_ptr<FlashPlayer>(QWidget* host)>;

// The factory the main window uses; by default it makes a NullFlashPlayer.
FlashPlayerFactory& DefaultFlashPlayerFactory();

}  // namespace tavimo
