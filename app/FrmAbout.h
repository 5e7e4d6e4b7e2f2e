#pragma once
// The about box: one 200 x 300 picture; a click on it closes the box.
#include <QDialog>

namespace tavimo {

class Dialogs;
class TImage;

class TfrmAbout : public QDialog {
 public:
  // `dialogs` shows the error of a failing handler.
  TfrmAbout(QWidget* parent, Dialogs& dialogs);
  TImage* Image1 = nullptr;

 private:
  Dialogs& dialogs_;
};

// The about picture: the skin's one when present, else one drawn here.
QImage AboutPicture();

}  // namespace tavimo
