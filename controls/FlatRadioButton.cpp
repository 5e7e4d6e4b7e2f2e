#include "controls/FlatRadioButton.h"

#include <QFontMetrics>
#include <QPainter>

#include "controls/FlatColors.h"

namespace tavimo {
namespace {
constexpr int kBox = 13;
constexpr int kGap = 5;
}  // namespace

TFlatRadioButton::TFlatRadioButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent),
      flat_(Qt::white),
      border_(FromTColor(kFlatFrameColor)),
      check_(FromTColor(kFlatBarColor)) {}

void TFlatRadioButton::SetColorFlat(const QColor& c) {
  flat_ = c;
  update();
}

void TFlatRadioButton::SetColorBorder(const QColor& c) {
  border_ = c;
  update();
}

void TFlatRadioButton::SetColorCheck(const QColor& c) {
  check_ = c;
  update();
}

QSize TFlatRadioButton::sizeHint() const {
  const QFontMetrics fm(font());
  const int textWidth = text().isEmpty() ? 0 : kGap + fm.horizontalAdvance(text());
  return {kBox + textWidth + 1, std::max(kBox, fm.height()) + 2};
}

bool TFlatRadioButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void TFlatRadioButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(0.5, (height() - kBox) / 2 + 0.5, kBox - 1, kBox - 1);
  p.setBrush(isEnabled() ? flat_ : palette().color(QPalette::Window));
  p.setPen(hasFocus() ? check_ : border_);
  p.drawEllipse(box);
  if (isChecked()) {
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? check_ : border_);
    p.drawEllipse(box.adjusted(3, 3, -3, -3));
  }
  if (!text().isEmpty()) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(QRect(kBox + kGap, 0, width() - kBox - kGap, height()),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
  }
}

}  // namespace tavimo
