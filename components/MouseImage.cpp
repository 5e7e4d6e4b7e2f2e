#include "components/MouseImage.h"

#include <QMouseEvent>

#include "components/MouseImageResources.h"

namespace tavimo {

TMouseImage::TMouseImage(QWidget* parent) : TImage(parent) {}

void TMouseImage::ShowNamedPicture(const QString& name) {
  // Decoded afresh every time: the skin may be swapped while the program runs.
  ShowPicture(LoadJpegResource(name));
}

void TMouseImage::enterEvent(QEnterEvent* event) {
  TImage::enterEvent(event);
  if (Enable && !OverPictureName.isEmpty()) ShowNamedPicture(OverPictureName);
}

void TMouseImage::leaveEvent(QEvent* event) {
  TImage::leaveEvent(event);
  if (Enable && !NormalPictureName.isEmpty()) ShowNamedPicture(NormalPictureName);
}

void TMouseImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    TImage::mousePressEvent(event);
    return;
  }
  // Switched off: swallow the press so neither a click nor the parent sees it.
  if (!Enable) {
    event->accept();
    return;
  }
  if (!DownPictureName.isEmpty()) ShowNamedPicture(DownPictureName);
  TImage::mousePressEvent(event);
}

void TMouseImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !Enable) {
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton && !DownPictureName.isEmpty()) ShowNamedPicture(DownPictureName);
  TImage::mouseDoubleClickEvent(event);
}

}  // namespace tavimo
