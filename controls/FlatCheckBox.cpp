#include "controls/FlatCheckBox.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include "controls/FlatColors.h"

namespace tavimo {
namespace {
constexpr int kBox = 13;
constexpr int kGap = 5;
}  // namespace

TFlatCheckBox::TFlatCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent),
      flat_(Qt::white),
      border_(FromTColor(kFlatFrameColor)),
      check_(FromTColor(kFlatBarColor)) {}

void TFlatCheckBox::SetColorFlat(const QColor& c) {
  flat_ = c;
  update();
}

void TFlatCheckBox::SetColorBorder(const QColor& c) {
  border_ = c;
  update();
}

void TFlatCheckBox::SetColorCheck(const QColor& c) {
  check_ = c;
  update();
}

QSize TFlatCheckBox::sizeHint() const {
  const QFontMetrics fm(font());
  const int textWidth = text().isEmpty() ? 0 : kGap + fm.horizontalAdvance(text());
  return {kBox + textWidth + 1, std::max(kBox, fm.height()) + 2};
}

bool TFlatCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void TFlatCheckBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect box(0, (height() - kBox) / 2, kBox, kBox);
  p.fillRect(box, isEnabled() ? flat_ : palette().color(QPalette::Window));
  p.setPen(hasFocus() ? check_ : border_);
  p.drawRect(box.adjusted(0, 0, -1, -1));
  if (checkState() != Qt::Unchecked) {
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(isEnabled() ? check_ : border_, 2);
    p.setPen(pen);
    if (checkState() == Qt::PartiallyChecked) {
      p.drawLine(box.left() + 3, box.center().y(), box.right() - 3, box.center().y());
    } else {
      QPainterPath tick;
      tick.moveTo(box.left() + 3, box.top() + 6.5);
      tick.lineTo(box.left() + 5.5, box.top() + 9);
      tick.lineTo(box.left() + 10, box.top() + 3.5);
      p.drawPath(tick);
    }
  }
  if (!text().isEmpty()) {
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(QRect(kBox + kGap, 0, width() - kBox - kGap, height()),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
  }
}

}  // namespace tavimo
