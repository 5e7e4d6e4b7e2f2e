// The tray menu, the capture of the front browser's address and Exit.
#include <QApplication>
#include <QMenu>

#include "app/FrmTavimo.h"
#include "components/MouseImageResources.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatEdit.h"
#include "detect/ScanAddress.h"
#include "net/HttpCli.h"
#include "platform/BrowserSession.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/HandlerGuard.h"

namespace tavimo {

void TFrmTavimo::BuildTrayMenu() {
  PopNotify = new QMenu(this);
  PopNotify->setObjectName("PopNotify");
  PopNotify->addAction(MenuPicture(3), "Search current Page  (F7)", this, Guarded(dialogs_, [this] {
                         ShowMainWindow();
                         butgoClick();
                       }));
  PopNotify->addAction(MenuPicture(4), "Show Window          (F6)", this,
                       Guarded(dialogs_, [this] { ShowMainWindow(); }));
  PopNotify->addSeparator();
  PopNotify->addAction(MenuPicture(6), "Clear Flash Items", this,
                       Guarded(dialogs_, [this] { ClearItems1Click(); }));
  PopNotify->addAction(MenuPicture(8), "Options", this,
                       Guarded(dialogs_, [this] { MouseEffectImage1Click(); }));
  PopNotify->addSeparator();
  PopNotify->addAction(MenuPicture(5), "Exit", this, Guarded(dialogs_, [this] { Close1Click(); }));
}

void TFrmTavimo::BuildTrayIcon() {
  RxTrayIcon1 =
      std::make_unique<TRxTrayIcon>(dialogs_, setup_.TrayShellFactory ? setup_.TrayShellFactory() : nullptr);
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
  // The page of the most recently written browser session; nothing (no browser, an unreadable
  // or half-written session, "about:blank", a file or a browser's own page, which cannot be
  // scanned) leaves the field as it is.
  if (const auto address = CaptureFrontBrowserAddress(); address && IsWebAddress(*address)) {
    edturl->setText(QString::fromStdString(*address));
  }
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
  try {
    HttpCli1->Abort();
    HttpCli2->Abort();
    terminating_ = true;
    QCoreApplication::quit();  // the loop ends once this message has been handled
  } catch (const EHttpException&) {
    dialogs_.ShowMessage(this, kErrorCaption, "connect error", MessageIcon::None);
  }
  // Any other error has left this handler already and the program keeps running.
  close();
}

}  // namespace tavimo
