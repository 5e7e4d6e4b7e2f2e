#include "controls/FlatEdit.h"

#include <QPainter>

#include "controls/FlatColors.h"

namespace tavimo {

TFlatEdit::TFlatEdit(QWidget* parent)
    : QLineEdit(parent),
      flat_(Qt::white),
      border_(FromTColor(kFlatFrameColor)),
      focused_(FromTColor(kHintArrowBackground)) {
  setFrame(false);
  setTextMargins(3, 0, 3, 0);
  SetColorFlat(flat_);
}

void TFlatEdit::SetColorFlat(const QColor& c) {
  flat_ = c;
  QPalette pal = palette();
  pal.setColor(QPalette::Base, c);
  setPalette(pal);
  update();
}

void TFlatEdit::SetColorBorder(const QColor& c) {
  border_ = c;
  update();
}

void TFlatEdit::SetColorFocused(const QColor& c) {
  focused_ = c;
  update();
}

void TFlatEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  QPainter p(this);
  p.setPen(hasFocus() ? focused_ : border_);
  p.drawRect(0, 0, width() - 1, height() - 1);
}

}  // namespace tavimo
