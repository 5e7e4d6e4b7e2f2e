#include "controls/FlatGauge.h"

#include <QPainter>
#include <algorithm>

#include "controls/FlatColors.h"

namespace tavimo {

TFlatGauge::TFlatGauge(QWidget* parent)
    : QWidget(parent), barColor_(FromTColor(kFlatBarColor)), border_(FromTColor(kFlatFrameColor)) {
  resize(145, 25);
}

void TFlatGauge::SetMinValue(std::int32_t value) {
  const std::int32_t v = std::min(value, max_);
  if (v == min_) return;
  min_ = v;
  if (progress_ < v) progress_ = v;
  update();
}

void TFlatGauge::SetMaxValue(std::int32_t value) {
  const std::int32_t v = std::max(value, min_);
  if (v == max_) return;
  max_ = v;
  if (progress_ > v) progress_ = v;
  update();
}

void TFlatGauge::SetProgress(std::int32_t value) {
  const std::int32_t v = std::clamp(value, min_, max_);
  if (v == progress_) return;
  progress_ = v;
  update();
}

void TFlatGauge::SetShowText(bool on) {
  if (on == showText_) return;
  showText_ = on;
  update();
}

void TFlatGauge::SetBarColor(const QColor& c) {
  barColor_ = c;
  update();
}

void TFlatGauge::SetColorBorder(const QColor& c) {
  border_ = c;
  update();
}

QColor TFlatGauge::Color() const {
  if (color_) return *color_;
  const QWidget* from = parentWidget() != nullptr ? parentWidget() : this;
  return from->palette().color(from->backgroundRole());
}

void TFlatGauge::SetColor(const QColor& c) {
  color_ = c;
  update();
}

void TFlatGauge::SetTransparent(bool on) {
  transparent_ = on;
  update();
}

void TFlatGauge::SetUseAdvColors(bool on) {
  useAdvColors_ = on;
  update();
}

void TFlatGauge::SetAdvColorBorder(std::uint8_t value) {
  advColorBorder_ = value;
  update();
}

int TFlatGauge::BarWidth() const {
  const int w = std::max(0, width() - 4);
  const double range = double(max_) - double(min_);
  // Without a range there is nothing to show; the program never sets one.
  if (range <= 0) return 0;
  // Measured from MinValue, so a range that does not start at 0 still fits the inner width.
  return static_cast<int>(w / range * (double(progress_) - double(min_)));
}

QString TFlatGauge::PercentText() const {
  const double range = double(max_) - double(min_);
  const long long percent =
      range <= 0 ? 0 : static_cast<long long>((double(progress_) - double(min_)) / range * 100.0);
  return QString::number(percent) + QStringLiteral(" %");
}

void TFlatGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!transparent_) p.fillRect(rect(), Color());
  p.setPen(border_);
  p.drawRect(0, 0, width() - 1, height() - 1);
  const QRect inner = rect().adjusted(2, 2, -2, -2);
  if (inner.width() <= 0 || inner.height() <= 0) return;

  const int bar = BarWidth();
  QRect barRect(inner.left(), inner.top(), bar, inner.height());
  if (layoutDirection() == Qt::RightToLeft) barRect.moveRight(inner.right());
  if (bar > 0) p.fillRect(barRect, barColor_);

  if (!showText_) return;
  const QString text = PercentText();
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(inner, flags, text);
  if (bar <= 0) return;
  // Over the bar the text shows in the background colour.
  p.setClipRect(barRect);
  p.setPen(Color());
  p.drawText(inner, flags, text);
}

}  // namespace tavimo
