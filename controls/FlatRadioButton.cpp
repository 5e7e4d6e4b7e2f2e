#include "controls/FlatRadioButton.h"

namespace tavimo {

void TFlatRadioButton::PaintIndicator(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(0.5, (height() - kBox) / 2 + 0.5, kBox - 1, kBox - 1);
  p.setBrush(isEnabled() ? flat_ : palette().color(QPalette::Window));
  p.setPen(hasFocus() ? check_ : border_);
  p.drawEllipse(box);
  if (!isChecked()) return;
  p.setPen(Qt::NoPen);
  p.setBrush(isEnabled() ? check_ : border_);
  p.drawEllipse(box.adjusted(3, 3, -3, -3));
}

}  // namespace tavimo
