#include "app/Frmnewclass.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include "app/Categories.h"
#include "controls/FlatEdit.h"
#include "controls/DialogLook.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

int TitleRoom(const QString& title) {
  // The title bar uses the desktop's own font, larger than the dialog's; the window manager
  // adds its margins and an icon on either side.
  return QFontMetrics(QApplication::font()).horizontalAdvance(title) + 2 * 48;
}

Tfrmnewclass::Tfrmnewclass(QWidget* parent, QListWidget& categories, int maxCategories, Dialogs& dialogs)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      categories_(categories),
      maxCategories_(maxCategories),
      dialogs_(dialogs) {
  setObjectName("frmnewclass");
  setWindowTitle("Add a New Category");
  ApplyDialogLook(*this);

  Label1 = new QLabel("Please Input a New Category:", this);
  Label1->setStyleSheet("color: white;");
  Label1->move(24, 11);
  Label1->adjustSize();
  // 187 pixels were made for one Windows font: with the desktop's fonts the label and the
  // title would be cut ("Add … egory"), so the dialog grows to what both need.
  const int width = std::max({187, Label1->width() + 2 * 24, TitleRoom(windowTitle())});
  setFixedSize(width, 99);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
  edtnewclass = new TFlatEdit(this);
  edtnewclass->setObjectName("edtnewclass");
  edtnewclass->setGeometry(24, 32, width - 2 * 24, 19);
  BitBtn1 = new QPushButton("&Add", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(24, 64, 65, 25);
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton("&Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(width - 24 - 65, 64, 65, 25);
  BitBtn2->setAutoDefault(false);

  connect(BitBtn1, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn1Click(); }));
  connect(BitBtn2, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn2Click(); }));
}

void Tfrmnewclass::BitBtn1Click() {
  const QString name = edtnewclass->text();
  // The name becomes a folder inside the download root: nothing that leaves it.
  if (const std::string why = CategoryNameProblem(name.toStdString()); !why.empty()) {
    dialogs_.ShowMessage(this, kCategoryCaption, why, MessageIcon::None);
    return;
  }
  bool present = false;
  for (int i = 0; i < categories_.count() && !present; ++i) {
    present = categories_.item(i)->text() == name;
  }
  if (!present && categories_.count() >= maxCategories_) {
    dialogs_.ShowMessage(this, kCategoryCaption, TooManyCategoriesText(maxCategories_), MessageIcon::None);
    return;
  }
  if (!present) categories_.addItem(name);
  accept();
}

void Tfrmnewclass::BitBtn2Click() { reject(); }

}  // namespace tavimo
