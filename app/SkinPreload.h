#pragma once
// The skin pictures the main window shows at start, decoded on a worker thread while the
// application object connects to the display, so building the window does not wait for the
// JPEG decoder. Without a preload (tests, dialogs) pictures are decoded when asked for.
#include <QImage>
#include <QString>
#include <optional>

namespace tavimo {

// Starts decoding; call once, on the main thread, before the application object is made.
void StartSkinPreload();

// A layout picture (":/layout/<name>.jpg") or a button picture (resource of type "jpeg") from
// the preload, waiting for it if it is still being decoded; nullopt when it was not preloaded
// or could not be decoded.
std::optional<QImage> PreloadedLayoutPicture(const QString& name);
std::optional<QImage> PreloadedButtonPicture(const QString& name);

}  // namespace tavimo
