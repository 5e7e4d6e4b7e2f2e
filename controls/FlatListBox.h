#pragma once
// A list box in the flat two-colour look: a plain face, a one-pixel border and a flat
// selection bar.
#include <QColor>
#include <QListWidget>

namespace tavimo {

class TFlatListBox : public QListWidget {
 public:
  explicit TFlatListBox(QWidget* parent = nullptr);

  QColor ColorFlat() const { return flat_; }
  void SetColorFlat(const QColor& c);
  QColor ColorBorder() const { return border_; }
  void SetColorBorder(const QColor& c);
  QColor ColorSelected() const { return selected_; }
  void SetColorSelected(const QColor& c);

 private:
  void ApplyColors();

  QColor flat_;
  QColor border_;
  QColor selected_;
};

}  // namespace tavimo
