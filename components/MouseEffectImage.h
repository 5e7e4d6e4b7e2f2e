#pragma once
// A hover picture that keeps its three pictures itself: origin at rest, over under the mouse,
// down while the left button is pressed. It sizes itself to the picture it shows.
#include <QImage>

#include "controls/Image.h"

namespace tavimo {

class TMouseEffectImage : public TImage {
 public:
  explicit TMouseEffectImage(QWidget* parent = nullptr);

  const QImage& OriginPicture() const { return origin_; }
  // Shown at once.
  void SetOriginPicture(const QImage& picture);
  const QImage& OverPicture() const { return over_; }
  void SetOverPicture(const QImage& picture);
  const QImage& DownPicture() const { return down_; }
  void SetDownPicture(const QImage& picture);

  // False: the origin picture returns right after a click; true: the down picture stays until
  // the mouse leaves.
  bool RevertOnLeave = false;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // The second press of a double click looks pressed too, but clicks nothing.
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage origin_;
  QImage over_;
  QImage down_;
};

}  // namespace tavimo
