#include "controls/Image.h"

#include <QMouseEvent>
#include <QPainter>

namespace tavimo {

TImage::TImage(QWidget* parent) : QWidget(parent) { resize(105, 105); }

void TImage::SetPicture(const QImage& picture) { ShowPicture(picture); }

void TImage::ShowPicture(const QImage& picture) {
  picture_ = picture;
  if (autoSize_ && !picture_.isNull()) resize(picture_.size());
  update();
}

void TImage::SetAutoSize(bool on) {
  autoSize_ = on;
  if (autoSize_ && !picture_.isNull()) resize(picture_.size());
}

void TImage::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter p(this);
  p.drawImage(0, 0, picture_);
}

void TImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  event->accept();
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool click = pressed_ && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click && OnClick) OnClick(this);
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  pressed_ = false;  // its release is no click
  if (OnDblClick) OnDblClick(this);
}

}  // namespace tavimo
