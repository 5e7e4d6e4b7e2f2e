// The tray menu, the capture of the front browser's address and Exit.
#include <QApplication>
#include <QMenu>

#include "app/FrmTavimo.h"
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
  // Not yet shown anywhere: the tray icon that pops this menu up arrives later.
}

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
