// The tray menu, the capture of the front browser's address and Exit.
#include <QApplication>
#include <QMenu>

#include "app/FrmTavimo.h"
#include "components/MouseImageResources.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatEdit.h"
#include "net/HttpCli.h"
#include "platform/HandlerGuard.h"

namespace tavimo {

void TFrmTavimo::BuildTrayMenu() {
  PopNotify = new QMenu(this);
  PopNotify->setObjectName("PopNotify");
  PopNotify->addAction(MenuPicture(3), "Search current Page  (F6)", this, Guarded([this] {
                         ShowMainWindow();
                         butgoClick();
                       }));
  PopNotify->addAction(MenuPicture(4), "Show Window          (F7)", this,
                       Guarded([this] { ShowMainWindow(); }));
  PopNotify->addSeparator();
  PopNotify->addAction(MenuPicture(6), "Clear Flash Items", this, Guarded([this] { ClearItems1Click(); }));
  PopNotify->addAction(MenuPicture(8), "Options", this, Guarded([this] { MouseEffectImage1Click(); }));
  PopNotify->addSeparator();
  PopNotify->addAction(MenuPicture(5), "Exit", this, Guarded([this] { Close1Click(); }));
}

void TFrmTavimo::BuildTrayIcon() {
  RxTrayIcon1 = std::make_unique<TRxTrayIcon>();
  RxTrayIcon1->setObjectName("RxTrayIcon1");
  RxTrayIcon1->SetHint("Press F7 to Show/Hide MainForm");
  try {
    RxTrayIcon1->SetIcon(QIcon(QPixmap::fromImage(LoadLayoutPicture("trayicon"))));
  } catch (const std::exception&) {
    // Without its picture the icon stays empty and is never shown; the hot keys still work.
  }
  RxTrayIcon1->SetPopupMenu(PopNotify);
  RxTrayIcon1->OnDblClick = [this](QObject*) { RxTrayIcon1DblClick(); };
}

void TFrmTavimo::RxTrayIcon1DblClick() { ShowMainWindow(); }

void TFrmTavimo::CaptureBrowserAddress() {
  // Not yet built: reading the front browser's address (session files) arrives later; until
  // then nothing is captured and the address field keeps its text.
}

void TFrmTavimo::ShowMainWindow() {
  CaptureBrowserAddress();
  edturl->selectAll();
  show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TFrmTavimo::butRefreshClick() {
  CaptureBrowserAddress();
  edturl->setFocus();
  edturl->selectAll();
}

void TFrmTavimo::Close1Click() {
  HttpCli1->Abort();
  HttpCli2->Abort();
  terminating_ = true;
  close();
}

}  // namespace tavimo
