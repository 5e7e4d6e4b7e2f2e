#pragma once
// A picture drawn at its natural size in the top-left corner, with a click event. The base of
// the skin's pictures and hover buttons.
#include <QImage>
#include <QWidget>
#include <functional>

namespace tavimo {

class TImage : public QWidget {
 public:
  explicit TImage(QWidget* parent = nullptr);

  const QImage& Picture() const { return picture_; }
  void SetPicture(const QImage& picture);
  // When on, the control takes the size of each picture it is given.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);

  // Raised when the left button is pressed and released over the control. The second press
  // of a double click is no click: it raises OnDblClick instead.
  std::function<void(QObject* sender)> OnClick;
  std::function<void(QObject* sender)> OnDblClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Qt's default turns the second press of a double click into another press (and so a
  // second click on its release); here it is the double-click event only.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Shows a picture without going through SetPicture's hooks in subclasses.
  void ShowPicture(const QImage& picture);

 private:
  QImage picture_;
  bool autoSize_ = false;
  bool pressed_ = false;
};

}  // namespace tavimo
