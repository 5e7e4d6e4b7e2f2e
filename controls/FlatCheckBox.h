#pragma once
// A check box in the flat two-colour look: a square with a one-pixel border and a tick.
#include <QCheckBox>
#include <QColor>

namespace tavimo {

class TFlatCheckBox : public QCheckBox {
 public:
  explicit TFlatCheckBox(const QString& text = {}, QWidget* parent = nullptr);

  QColor ColorFlat() const { return flat_; }
  void SetColorFlat(const QColor& c);
  QColor ColorBorder() const { return border_; }
  void SetColorBorder(const QColor& c);
  QColor ColorCheck() const { return check_; }
  void SetColorCheck(const QColor& c);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  QColor flat_;
  QColor border_;
  QColor check_;
};

}  // namespace tavimo
