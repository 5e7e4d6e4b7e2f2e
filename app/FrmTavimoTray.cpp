// The tray menu, the capture of the front browser's address and Exit.
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "app/FrmTavimo.h"
#include "components/MouseImageResources.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatEdit.h"
#include "detect/ScanAddress.h"
#include "net/HttpCli.h"
#include "platform/BackgroundPool.h"
#include "sources/session/BrowserSession.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

void TFrmTavimo::BuildTrayMenu() {
  PopNotify = new QMenu(this);
  PopNotify->setObjectName("PopNotify");
  PopNotify->addAction(MenuPicture(3), "Search current Page  (F7)", this, Guarded(dialogs_, [this] {
                         ShowMainWindow();
                         ScanAfterCapture();
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

// Shared by the window and the pool thread that reads the session files.
struct TFrmTavimo::CaptureRun {
  std::mutex mutex;
  std::condition_variable arrived;
  bool done = false;
  std::optional<std::string> address;
  QString fieldAtStart;  // the address field when the capture began
};

void TFrmTavimo::CaptureBrowserAddress(int waitMs) {
  // One capture at a time: a second request is answered by the one under way.
  std::shared_ptr<CaptureRun> run = capture_;
  if (!run) {
    run = capture_ = std::make_shared<CaptureRun>();
    run->fieldAtStart = edturl->text();
    const auto read =
        setup_.CaptureAddress ? setup_.CaptureAddress : [] { return CaptureFrontBrowserAddress(); };
    QPointer<TFrmTavimo> self(this);
    BackgroundPool::Start([run, read, self] {
      std::optional<std::string> address;
      try {
        address = read();
      } catch (...) {
        // Nothing captured: the field stays as it is.
      }
      {
        std::lock_guard lock(run->mutex);
        run->address = std::move(address);
        run->done = true;
      }
      run->arrived.notify_all();
      if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [run, self] {
              if (self) RunGuarded(self->dialogs_, [&] { self->CaptureArrived(run); });
            },
            Qt::QueuedConnection);
      }
    });
    QTimer::singleShot(setup_.CaptureGiveUpMs, this, Guarded(dialogs_, [this, run] {
                         if (capture_ != run) return;
                         // A late answer is dropped; the waiting scan takes the field as it is.
                         capture_.reset();
                         if (std::exchange(scanAfterCapture_, false)) butgoClick();
                       }));
  }
  // The session files are read off this thread; a short wait keeps the usual order (the
  // address is in the field before the window shows or scans) without letting a slow disk
  // or a huge session hold the window.
  std::unique_lock lock(run->mutex);
  const auto wait = std::chrono::milliseconds(waitMs < 0 ? setup_.CaptureWaitMs : waitMs);
  const bool done = run->arrived.wait_for(lock, wait, [&run] { return run->done; });
  lock.unlock();
  if (done) CaptureArrived(run);
}

void TFrmTavimo::CaptureArrived(const std::shared_ptr<CaptureRun>& run) {
  if (capture_ != run) return;  // taken already, or given up
  capture_.reset();
  // The page of the most recently written browser session; nothing (no browser, an unreadable
  // or half-written session, "about:blank", a file or a browser's own page, which cannot be
  // scanned) leaves the field as it is, and so does an address that arrives after the user has
  // typed.
  if (run->address && IsWebAddress(*run->address) && edturl->text() == run->fieldAtStart) {
    edturl->setText(QString::fromStdString(*run->address));
    edturl->selectAll();
  }
  if (std::exchange(scanAfterCapture_, false)) butgoClick();
}

void TFrmTavimo::ScanAfterCapture() {
  if (capture_) {
    scanAfterCapture_ = true;
    return;
  }
  butgoClick();
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
