#pragma once
// A list box in the flat two-colour look: a plain face, a one-pixel border and a flat
// selection bar. As a system list box, only the left button selects: a right click opens the
// context menu and leaves the selection where it was (it may name a download target).
#include <QColor>
#include <QListWidget>

class QMouseEvent;

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

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void ApplyColors();

  QColor flat_;
  QColor border_;
  QColor selected_;
};

}  // namespace tavimo
