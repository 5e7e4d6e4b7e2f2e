#include "components/MouseEffectImage.h"

#include <QMouseEvent>

namespace tavimo {

TMouseEffectImage::TMouseEffectImage(QWidget* parent) : TImage(parent) { SetAutoSize(true); }

void TMouseEffectImage::SetOriginPicture(const QImage& picture) {
  origin_ = picture;
  ShowPicture(origin_);
}

void TMouseEffectImage::SetOverPicture(const QImage& picture) { over_ = picture; }

void TMouseEffectImage::SetDownPicture(const QImage& picture) { down_ = picture; }

void TMouseEffectImage::enterEvent(QEnterEvent* event) {
  TImage::enterEvent(event);
  ShowPicture(over_);
}

void TMouseEffectImage::leaveEvent(QEvent* event) {
  TImage::leaveEvent(event);
  ShowPicture(origin_);
}

void TMouseEffectImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) ShowPicture(down_);
  TImage::mousePressEvent(event);
}

void TMouseEffectImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !RevertOnLeave) ShowPicture(origin_);
  TImage::mouseReleaseEvent(event);
}

void TMouseEffectImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) ShowPicture(down_);
  TImage::mouseDoubleClickEvent(event);
}

}  // namespace tavimo
