#include "controls/FlatCheckBox.h"

#include <QPainterPath>

namespace tavimo {

void TFlatCheckBox::PaintIndicator(QPainter& p) {
  const QRect box(0, (height() - kBox) / 2, kBox, kBox);
  p.fillRect(box, isEnabled() ? flat_ : palette().color(QPalette::Window));
  p.setPen(hasFocus() ? check_ : border_);
  p.drawRect(box.adjusted(0, 0, -1, -1));
  if (checkState() == Qt::Unchecked) return;
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(isEnabled() ? check_ : border_, 2));
  if (checkState() == Qt::PartiallyChecked) {
    p.drawLine(box.left() + 3, box.center().y(), box.right() - 3, box.center().y());
    return;
  }
  QPainterPath tick;
  tick.moveTo(box.left() + 3, box.top() + 6.5);
  tick.lineTo(box.left() + 5.5, box.top() + 9);
  tick.lineTo(box.left() + 10, box.top() + 3.5);
  p.drawPath(tick);
}

}  // namespace tavimo
