#pragma once
// The dialog that adds a category: the typed name is appended unless an entry is exactly equal
// to it (letter case counts); the selection stays. A name that cannot name a folder inside the
// download root (CategoryNameProblem), or a list that already holds maxCategories entries, is
// refused with a message and the dialog stays open.
#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace tavimo {

class Dialogs;
class TFlatEdit;

// Pixels the window manager needs to show `title` whole in a title bar.
int TitleRoom(const QString& title);

class Tfrmnewclass : public QDialog {
 public:
  // `dialogs` shows its messages and the error of a failing handler.
  Tfrmnewclass(QWidget* parent, QListWidget& categories, int maxCategories, Dialogs& dialogs);

  QLabel* Label1 = nullptr;
  TFlatEdit* edtnewclass = nullptr;
  QPushButton* BitBtn1 = nullptr;  // "&Add", the default button
  QPushButton* BitBtn2 = nullptr;  // "&Cancel", the cancel button

  void BitBtn1Click();
  void BitBtn2Click();

 private:
  QListWidget& categories_;
  int maxCategories_;
  Dialogs& dialogs_;
};

}  // namespace tavimo
