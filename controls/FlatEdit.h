#pragma once
// A one-line edit field in the flat two-colour look: a plain face and a one-pixel border that
// takes the focus colour while the field has the keyboard focus.
#include <QColor>
#include <QLineEdit>

namespace tavimo {

class TFlatEdit : public QLineEdit {
 public:
  explicit TFlatEdit(QWidget* parent = nullptr);

  QColor ColorFlat() const { return flat_; }
  void SetColorFlat(const QColor& c);
  QColor ColorBorder() const { return border_; }
  void SetColorBorder(const QColor& c);
  QColor ColorFocused() const { return focused_; }
  void SetColorFocused(const QColor& c);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor flat_;
  QColor border_;
  QColor focused_;
};

}  // namespace tavimo
