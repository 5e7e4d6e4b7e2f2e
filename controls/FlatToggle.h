#pragma once
// What the flat check box and radio button share: the three colours, the size, the whole
// control as the hit area, and the caption beside a 13-pixel indicator that each draws itself.
#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "controls/FlatColors.h"

namespace tavimo {

template <typename Button>
class TFlatToggle : public Button {
 public:
  explicit TFlatToggle(const QString& text = {}, QWidget* parent = nullptr)
      : Button(text, parent),
        flat_(Qt::white),
        border_(FromTColor(kFlatFrameColor)),
        check_(FromTColor(kFlatBarColor)) {}

  QColor ColorFlat() const { return flat_; }
  void SetColorFlat(const QColor& c) { Set(flat_, c); }
  QColor ColorBorder() const { return border_; }
  void SetColorBorder(const QColor& c) { Set(border_, c); }
  QColor ColorCheck() const { return check_; }
  void SetColorCheck(const QColor& c) { Set(check_, c); }

  QSize sizeHint() const override {
    const QFontMetrics fm(this->font());
    const int textWidth = this->text().isEmpty() ? 0 : kGap + fm.horizontalAdvance(this->text());
    return {kBox + textWidth + 1, std::max(kBox, fm.height()) + 2};
  }

 protected:
  static constexpr int kBox = 13;
  static constexpr int kGap = 5;

  // Draws the indicator (box or circle) at the left, vertically centred.
  virtual void PaintIndicator(QPainter& p) = 0;

  bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.save();
    PaintIndicator(p);
    p.restore();
    if (this->text().isEmpty()) return;
    const bool enabled = this->isEnabled();
    p.setPen(this->palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(QRect(kBox + kGap, 0, this->width() - kBox - kGap, this->height()),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, this->text());
  }

  QColor flat_;
  QColor border_;
  QColor check_;

 private:
  void Set(QColor& slot, const QColor& c) {
    slot = c;
    this->update();
  }
};

}  // namespace tavimo
