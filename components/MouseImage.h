#pragma once
// A skin button: a picture that swaps to the JPEG resource named for each mouse state.
// Until the first mouse event it shows the picture it was given (SetPicture).
#include <QString>

#include "controls/Image.h"

namespace tavimo {

class TMouseImage : public TImage {
 public:
  explicit TMouseImage(QWidget* parent = nullptr);

  // False: presses are ignored entirely (no picture change, no click) and the picture stays.
  bool Enable = true;
  // Empty names mean the state has no picture of its own.
  QString NormalPictureName;
  QString OverPictureName;
  QString DownPictureName;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  // The second press of a double click looks pressed too, but clicks nothing.
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Loads the named resource afresh and shows it; a missing resource throws EResNotFound and
  // leaves the picture unchanged.
  void ShowNamedPicture(const QString& name);
};

}  // namespace tavimo
