#include "app/Frmaddflashitem.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/ItemList.h"
#include "controls/DialogLook.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

Tfrmaddflashitem::Tfrmaddflashitem(QWidget* parent, TItemList& items, Dialogs& dialogs)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), items_(items), dialogs_(dialogs) {
  setObjectName("frmaddflashitem");
  setWindowTitle("Add a New Flash Item");
  setFixedSize(307, 107);
  ApplyDialogLook(*this);

  Label1 = new QLabel("Please Input a New Flash Items URL:", this);
  Label1->setStyleSheet("color: white;");
  Label1->setGeometry(16, 11, 275, 16);
  edtnewitem = new QLineEdit(this);
  edtnewitem->setObjectName("edtnewitem");
  edtnewitem->setGeometry(16, 32, 275, 19);
  BitBtn1 = new QPushButton("&Add", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(64, 68, 75, 25);
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton("&Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(168, 68, 75, 25);

  // Esc rejects through QDialog itself, which is what the Cancel button does.
  connect(BitBtn1, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn1Click(); }));
  connect(BitBtn2, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn2Click(); }));
}

void Tfrmaddflashitem::BitBtn1Click() {
  const std::string url = edtnewitem->text().toStdString();
  items_.AppendItem(url, HandMadeSaveAsName(url));
  accept();
}

void Tfrmaddflashitem::BitBtn2Click() { reject(); }

}  // namespace tavimo
