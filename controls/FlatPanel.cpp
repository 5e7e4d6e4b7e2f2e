#include "controls/FlatPanel.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>

#include "controls/FlatColors.h"

namespace tavimo {

TFlatPanel::TFlatPanel(QWidget* parent)
    : QWidget(parent), highlight_(FromTColor(kFlatFrameColor)), shadow_(FromTColor(kFlatFrameColor)) {
  resize(185, 41);
}

void TFlatPanel::SetColorHighLight(const QColor& c) {
  if (c == highlight_) return;
  highlight_ = c;
  update();
}

void TFlatPanel::SetColorShadow(const QColor& c) {
  if (c == shadow_) return;
  shadow_ = c;
  update();
}

QColor TFlatPanel::Color() const {
  if (color_) return *color_;
  const QWidget* from = parentWidget() != nullptr ? parentWidget() : this;
  return from->palette().color(from->backgroundRole());
}

void TFlatPanel::SetColor(const QColor& c) {
  color_ = c;
  update();
}

void TFlatPanel::SetCaption(const QString& text) {
  if (text == caption_) return;
  caption_ = text;
  UpdateToolTip();
  update();
}

bool TFlatPanel::CaptionCut() const { return fontMetrics().horizontalAdvance(caption_) > width() - 2; }

void TFlatPanel::UpdateToolTip() { setToolTip(CaptionCut() ? caption_ : QString()); }

void TFlatPanel::resizeEvent(QResizeEvent* event) {
  UpdateToolTip();
  QWidget::resizeEvent(event);
}

void TFlatPanel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  update();
}

void TFlatPanel::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  update();
}

QImage TFlatPanel::Render() const {
  QImage image(size(), QImage::Format_ARGB32_Premultiplied);
  // Transparent: leave the picture clear so whatever lies behind the panel shows through.
  image.fill(transparent_ ? QColor(Qt::transparent) : Color());
  QPainter p(&image);
  const int r = width() - 1;
  const int b = height() - 1;
  p.setPen(highlight_);
  p.drawLine(0, 0, r, 0);
  p.drawLine(0, 0, 0, b);
  p.setPen(shadow_);
  p.drawLine(0, b, r, b);
  p.drawLine(r, 0, r, b);
  if (!caption_.isEmpty()) {
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    switch (alignment_) {
      case TAlignment::taLeftJustify: flags |= Qt::AlignLeft; break;
      case TAlignment::taRightJustify: flags |= Qt::AlignRight; break;
      case TAlignment::taCenter: flags |= Qt::AlignHCenter; break;
    }
    p.setFont(font());
    const QRect box = rect();
    if (isEnabled()) {
      p.setPen(palette().color(QPalette::WindowText));
      p.drawText(box, flags, caption_);
    } else {
      // Engraved: a light copy one pixel down-right under the shadow-coloured text.
      p.setPen(palette().color(QPalette::Active, QPalette::Light));
      p.drawText(box.translated(1, 1), flags, caption_);
      p.setPen(palette().color(QPalette::Active, QPalette::Dark));
      p.drawText(box, flags, caption_);
    }
  }
  return image;
}

void TFlatPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Render());
}

void TFlatPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
      event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
    if (event->type() == QEvent::FontChange) UpdateToolTip();
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace tavimo
