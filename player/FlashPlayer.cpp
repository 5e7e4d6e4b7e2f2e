#include "player/FlashPlayer.h"

namespace tavimo {

FlashPlayerFactory& DefaultFlashPlayerFactory() {
  static FlashPlayerFactory factory = [](QWidget*) -> std::unique_ptr<FlashPlayer> {
    return std::make_unique<NullFlashPlayer>();
  };
  return factory;
}

}  // namespace tavimo
