#pragma once
// Draws every picture of Tavimo's skin. Each picture has a resource name, a size and a group:
// "jpeg" pictures are the hover buttons' resources, "layout" pictures are the ones the window
// layout carries.
#include <QImage>
#include <QString>
#include <vector>

namespace tavimo::skin {

struct Picture {
  QString group;  // "jpeg" or "layout"
  QString name;   // file name without extension
  QImage image;
};

std::vector<Picture> DrawAll();

// The pictures placed as the main window shows them at rest, for a visual check.
QImage DrawMockup(const std::vector<Picture>& pictures);

}  // namespace tavimo::skin
