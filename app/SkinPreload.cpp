#include "app/SkinPreload.h"

#include <QThread>
#include <future>
#include <map>

#include "components/MouseImageResources.h"

namespace tavimo {
namespace {

struct Pictures {
  std::map<QString, QImage> layout;
  std::map<QString, QImage> buttons;
};

std::shared_future<Pictures>& Preload() {
  static std::shared_future<Pictures> preload;
  return preload;
}

Pictures DecodeStartPictures() {
  Pictures p;
  for (const char* name :
       {"backimg", "imgpreviewy", "imgpreviewn", "Image1", "MouseEffectImage1", "MouseEffectImage1_over",
        "MouseEffectImage1_down", "imgautoclosey", "imgautoclosen", "butRefresh"}) {
    try {
      p.layout[name] = LoadLayoutPicture(name);
    } catch (const std::exception&) {
      // Left to the window, which has its own answer for a missing picture.
    }
  }
  for (const char* name : {"INFO0", "QUESTION0", "MINI0", "CLOSE0", "DOWNLOAD0", "CHANGE0", "GO0"}) {
    try {
      p.buttons[name] = LoadJpegResource(name);
    } catch (const std::exception&) {
    }
  }
  return p;
}

std::optional<QImage> Find(const std::map<QString, QImage>& pictures, const QString& name) {
  const auto it = pictures.find(name);
  if (it == pictures.end() || it->second.isNull()) return std::nullopt;
  return it->second;
}

}  // namespace

void StartSkinPreload() {
  // Qt takes the first thread that uses it for the main thread: make sure that is this one
  // before the worker opens the resources.
  QThread::currentThread();
  if (!Preload().valid()) Preload() = std::async(std::launch::async, DecodeStartPictures).share();
}

std::optional<QImage> PreloadedLayoutPicture(const QString& name) {
  if (!Preload().valid()) return std::nullopt;
  return Find(Preload().get().layout, name);
}

std::optional<QImage> PreloadedButtonPicture(const QString& name) {
  if (!Preload().valid()) return std::nullopt;
  return Find(Preload().get().buttons, name.toUpper());
}

}  // namespace tavimo
