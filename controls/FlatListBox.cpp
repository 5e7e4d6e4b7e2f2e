#include "controls/FlatListBox.h"

#include <QMouseEvent>

#include "controls/FlatColors.h"

namespace tavimo {

TFlatListBox::TFlatListBox(QWidget* parent)
    : QListWidget(parent),
      flat_(Qt::white),
      border_(FromTColor(kFlatFrameColor)),
      selected_(FromTColor(kHintArrowBackground)) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ApplyColors();
}

void TFlatListBox::SetColorFlat(const QColor& c) {
  flat_ = c;
  ApplyColors();
}

void TFlatListBox::SetColorBorder(const QColor& c) {
  border_ = c;
  ApplyColors();
}

void TFlatListBox::SetColorSelected(const QColor& c) {
  selected_ = c;
  ApplyColors();
}

namespace {

// A press, move or release that involves no left button: the item view would select on it.
bool WithoutLeftButton(const QMouseEvent* event) {
  return event->button() != Qt::LeftButton && !(event->buttons() & Qt::LeftButton);
}

}  // namespace

void TFlatListBox::mousePressEvent(QMouseEvent* event) {
  if (WithoutLeftButton(event)) return event->accept();
  QListWidget::mousePressEvent(event);
}

void TFlatListBox::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::NoButton && WithoutLeftButton(event)) return event->accept();
  QListWidget::mouseMoveEvent(event);
}

void TFlatListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (WithoutLeftButton(event)) return event->accept();
  QListWidget::mouseReleaseEvent(event);
}

void TFlatListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (WithoutLeftButton(event)) return event->accept();
  QListWidget::mouseDoubleClickEvent(event);
}

void TFlatListBox::ApplyColors() {
  // A style sheet is the one place that reaches the frame, the face and the selection bar.
  setStyleSheet(QStringLiteral("QListWidget { background: %1; border: 1px solid %2; outline: 0; }"
                               "QListWidget::item { padding: 1px 3px; border: 0; }"
                               "QListWidget::item:selected { background: %3; color: white; }")
                    .arg(flat_.name(), border_.name(), selected_.name()));
}

}  // namespace tavimo
