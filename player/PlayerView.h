#pragma once
// The seam between TShockwaveFlash and the web view that runs the Flash emulator. The view lives
// in a module loaded on first use, so the program does not pay for the web engine (about 85 MB
// resident, measured) until the first preview.
#include <functional>
#include <string>

class QWidget;

namespace tavimo {

class PlayerView {
 public:
  virtual ~PlayerView() = default;
  // The widget to show in the preview area.
  virtual QWidget* Widget() = 0;
  // Shows the movie; `base` is the address the movie came from (its relative loads resolve
  // against it). Calls made before the view is ready are kept and run in order once it is.
  virtual void ShowMovie(const std::string& base, std::string bytes) = 0;
  // Removes the movie: the area shows nothing.
  virtual void ShowNothing() = 0;
  virtual void Resume() = 0;
  virtual void Suspend() = 0;

  // Raised once, when the emulator is loaded and the view can replace the placeholder.
  std::function<void()> OnReady;
};

// The module's one exported function: creates the view as a child of `parent`, or returns null
// when the emulator's files cannot be found.
using CreatePlayerViewFunction = PlayerView* (*)(QWidget* parent);
inline constexpr const char* kCreatePlayerViewSymbol = "tavimo_create_player_view";

}  // namespace tavimo
