#pragma once
// The JPEG pictures compiled into the program. Button pictures are resources of type "jpeg"
// looked up by name without regard to letter case (":/jpeg/<NAME>.jpg"); the pictures a window
// layout carries live under ":/layout/<name>.jpg", named after the control that shows them
// ("backimg", "Image1", "MouseEffectImage1_over", "butRefresh", "menu0" ... "menu8", "trayicon",
// "about").
// Both are decoded with libjpeg every time they are asked for.
#include <QImage>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace tavimo {

class EResNotFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws EResNotFound ("Resource NAME not found") for an unknown name and EJpegError when the
// resource is not a readable JPEG.
QImage LoadJpegResource(const QString& name);
bool HasJpegResource(const QString& name);
// Names of every "jpeg" resource, in capitals.
QStringList JpegResourceNames();

// A layout picture by its file name without extension (case-sensitive, e.g. "backimg").
// Throws EResNotFound when missing.
QImage LoadLayoutPicture(const QString& name);

}  // namespace tavimo
