#include "controls/FlatListBox.h"

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

void TFlatListBox::ApplyColors() {
  // A style sheet is the one place that reaches the frame, the face and the selection bar.
  setStyleSheet(QStringLiteral("QListWidget { background: %1; border: 1px solid %2; outline: 0; }"
                               "QListWidget::item { padding: 1px 3px; border: 0; }"
                               "QListWidget::item:selected { background: %3; color: white; }")
                    .arg(flat_.name(), border_.name(), selected_.name()));
}

}  // namespace tavimo
