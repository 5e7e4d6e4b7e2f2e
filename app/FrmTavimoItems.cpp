// The item list on the main window: its menu, the add-item dialog, clearing, the link list
// file and the preview step after a click.
#include <QMenu>
#include <QTreeWidget>

#include "app/FrmTavimo.h"
#include "components/MouseImageResources.h"
#include "app/Frmaddflashitem.h"
#include "app/ItemList.h"
#include "app/PreviewStep.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

QIcon TFrmTavimo::MenuPicture(int index) {
  try {
    return QIcon(QPixmap::fromImage(LoadLayoutPicture(QString("menu%1").arg(index))));
  } catch (const std::exception&) {
    return {};
  }
}

void TFrmTavimo::BuildItemMenu() {
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  PopupMenu2->addAction(MenuPicture(0), "&Add a New Flash Item", this,
                        Guarded(dialogs_, [this] { AddaNewCategory2Click(); }));
  PopupMenu2->addAction(MenuPicture(6), "Clear Flash Items", this,
                        Guarded(dialogs_, [this] { ClearItems1Click(); }));
  PopupMenu2->addAction(MenuPicture(7), "Download this Flash Item", this,
                        Guarded(dialogs_, [this] { DownloadthisFlashItem1Click(); }));
  connect(Items->ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(Items->ListView1->viewport()->mapToGlobal(at)); });
}

void TFrmTavimo::LoadLinkList() { Items->LoadLinkList(setup_.LinkListFile); }

void TFrmTavimo::ClearItems1Click() { Items->Clear(); }

void TFrmTavimo::AddaNewCategory2Click() {
  // A fresh dialog each time; the window owns them all.
  auto* dialog = new Tfrmaddflashitem(this, *Items, dialogs_);
  dialogs_.ExecModal(*dialog);
}

void TFrmTavimo::ListView1Clicked(int row) {
  if (myplayer) PreviewClickedRow(*myplayer, settings_->IsPreview, *Items, row);
}

}  // namespace tavimo
