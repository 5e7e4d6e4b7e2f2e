#include "controls/FlatTitlebar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "controls/FlatColors.h"

namespace tavimo {
namespace {

QWidget* RequireForm(QWidget* form) {
  if (form == nullptr || !form->isWindow())
    throw EFlatTitlebarError("TFlatTitlebar can only be placed on a descndant of a TCustomForm");
  return form;
}

}  // namespace

TFlatTitlebar::TFlatTitlebar(QWidget* form)
    : QWidget(RequireForm(form)),
      form_(form),
      activeText_(Qt::white),
      inactiveText_(FromTColor(kTitleInactiveText)),
      titlebarColor_(Qt::black) {
  resize(100, 19);
  // The window's activation decides the text colour; we only look, never swallow.
  form_->installEventFilter(this);
}

TFlatTitlebar::~TFlatTitlebar() {
  if (form_ != nullptr) form_->removeEventFilter(this);
}

void TFlatTitlebar::SetActiveTextColor(const QColor& c) {
  if (c == activeText_) return;
  activeText_ = c;
  update();
}

void TFlatTitlebar::SetInactiveTextColor(const QColor& c) {
  if (c == inactiveText_) return;
  inactiveText_ = c;
  update();
}

void TFlatTitlebar::SetTitlebarColor(const QColor& c) {
  if (c == titlebarColor_) return;
  titlebarColor_ = c;
  update();
}

void TFlatTitlebar::SetCaption(const QString& text) {
  if (text == caption_) return;
  caption_ = text;
  update();
}

void TFlatTitlebar::SetActive(bool active) {
  active_ = active;
  update();
  const auto& handler = active ? OnActivate : OnDeactivate;
  if (handler) handler(this);
}

bool TFlatTitlebar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_) {
    if (event->type() == QEvent::WindowActivate) SetActive(true);
    else if (event->type() == QEvent::WindowDeactivate) SetActive(false);
  }
  return QWidget::eventFilter(watched, event);
}

void TFlatTitlebar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), titlebarColor_);
  if (caption_.isEmpty()) return;
  p.setFont(font());
  p.setPen(active_ ? activeText_ : inactiveText_);
  const QFontMetrics fm(font());
  const int x = width() / 2 - fm.horizontalAdvance(caption_) / 2;
  const int y = height() / 2 - fm.height() / 2;
  p.drawText(x, y + fm.ascent(), caption_);
}

void TFlatTitlebar::mousePressEvent(QMouseEvent* event) {
  press_ = event->position().toPoint();
  pressGlobal_ = event->globalPosition().toPoint();
  formAtPress_ = form_->pos();
  if (event->button() == Qt::LeftButton) dragging_ = true;
  event->accept();
}

void TFlatTitlebar::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  // The press point stays under the pointer. Worked out from screen positions: an X server
  // gives queued motion events coordinates relative to where the window was when they were
  // generated, so positions relative to the moving strip would make the window overshoot.
  form_->move(formAtPress_ + event->globalPosition().toPoint() - pressGlobal_);
}

void TFlatTitlebar::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  event->accept();
}

}  // namespace tavimo
