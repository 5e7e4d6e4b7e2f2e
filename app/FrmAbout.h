#pragma once
// The about box: one 200 x 300 picture; a click on it closes the box.
#include <QDialog>

namespace tavimo {

class TImage;

class TfrmAbout : public QDialog {
 public:
  explicit TfrmAbout(QWidget* parent);
  TImage* Image1 = nullptr;
};

// The about picture: the skin's one when present, else one drawn here.
QImage AboutPicture();

}  // namespace tavimo
