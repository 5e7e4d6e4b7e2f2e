#pragma once
// The dialog that adds a Flash item by hand: any text becomes a row, named "not flash" unless
// it holds "swf" in lower case.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavimo {

class Dialogs;
class TItemList;

class Tfrmaddflashitem : public QDialog {
 public:
  // `dialogs` shows the error of a failing handler.
  Tfrmaddflashitem(QWidget* parent, TItemList& items, Dialogs& dialogs);

  QLabel* Label1 = nullptr;
  QLineEdit* edtnewitem = nullptr;
  QPushButton* BitBtn1 = nullptr;  // "&Add", the default button
  QPushButton* BitBtn2 = nullptr;  // "&Cancel", the cancel button

  void BitBtn1Click();
  void BitBtn2Click();

 private:
  TItemList& items_;
  Dialogs& dialogs_;
};

}  // namespace tavimo
