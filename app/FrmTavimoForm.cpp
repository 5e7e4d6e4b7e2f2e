// The main window as a whole: creation and close sequences, hide-and-clear, the toggles, the
// preview frame, the busy animation, key and mouse filtering and the window commands.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/FrmAbout.h"
#include "app/FrmOption.h"
#include "app/FrmTavimo.h"
#include "components/DropURLTarget.h"
#include "components/MouseEffectImage.h"
#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatGauge.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "detect/PageScan.h"
#include "app/PreviewStep.h"
#include "download/ComponentLimits.h"
#include "download/DownloadDriver.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "sources/cache/UrlCacheStore.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"
#include "platform/SettingValues.h"
#include "platform/Paths.h"
#include "compat/Registry.h"
#include "desktop/X11WindowClass.h"

namespace tavimo {
namespace {

// The maker's page: the about section of the help page that ships with the program, so the
// banner opens something that exists on every machine, online or not.
std::string MakerWebPage() {
  const std::string help = HelpPagePath();
  if (help.empty()) return {};
  return "file://" + help + "#about";
}

}  // namespace

void TFrmTavimo::BuildMenus() {
  BuildCategoryMenu();
  BuildItemMenu();
  BuildTrayMenu();
}

void TFrmTavimo::ConnectHandlers() {
  butclose->OnClick = GuardedEvent(dialogs_, [this] { butcloseClick(); });
  butmini->OnClick = GuardedEvent(dialogs_, [this] { butminiClick(); });
  butinfo->OnClick = GuardedEvent(dialogs_, [this] { butinfoClick(); });
  butquestion->OnClick = GuardedEvent(dialogs_, [this] { butquestionClick(); });
  Image1->OnClick = GuardedEvent(dialogs_, [this] { Image1Click(); });
  MouseEffectImage1->OnClick = GuardedEvent(dialogs_, [this] { MouseEffectImage1Click(); });
  imgautoclosey->OnClick = GuardedEvent(dialogs_, [this] { imgautocloseyClick(); });
  imgautoclosen->OnClick = GuardedEvent(dialogs_, [this] { imgautoclosenClick(); });
  imgpreviewy->OnClick = GuardedEvent(dialogs_, [this] { imgpreviewyClick(); });
  imgpreviewn->OnClick = GuardedEvent(dialogs_, [this] { imgpreviewnClick(); });
  butchange->OnClick = GuardedEvent(dialogs_, [this] { butchangeClick(); });
  butgo->OnClick = GuardedEvent(dialogs_, [this] { butgoClick(); });
  butdownload->OnClick = GuardedEvent(dialogs_, [this] { butdownloadClick(); });
  butRefresh->OnClick = GuardedEvent(dialogs_, [this] { butRefreshClick(); });
  connect(Timer2, &QTimer::timeout, this, Guarded(dialogs_, [this] { Timer2Timer(); }));
  Items->OnUrlRowClicked = [this](int row) { ListView1Clicked(row); };
}

void TFrmTavimo::FormCreate() {
  // 1. Links dropped onto the address field land there.
  DropURLTarget1->SetTarget(edturl);
  // 2.-3.
  settings_->EnsureDefaultRoot();
  settings_->LoadSettings();
  // The settings' [limits]; one movie bound for the getter, the own client and the cache copies.
  const SettingValues& limits = settings_->Values;
  SetLimits(limits, *scan_);
  SetLimits(limits, *HttpCli1);
  SetLimits(limits, *HttpCli2);
  SetLimits(limits, *httpgetfile);
  SetLimits(limits, *download_);
  SetLimits(limits, *CacheStore);
  // 4. The window is not up yet: the address may take up to the give-up time.
  CaptureBrowserAddress(setup_.CaptureGiveUpMs);
  // 5. Scanned before the window is first shown.
  if (setup_.FirstParam == "-menuext") butgoClick();
  if (closed_) return;  // the session ended during that scan: nothing more to set up
  // 6.-8.
  UpdateToggleImages();
  Items->SetFlatBorders();
  AssignSkinNames();
  // 9. Only the failure matters here: an unreadable proxy setting stops the creation.
  settings_->ReadProxySettings();
  // 10.
  RegisterHotKeys();
}

void TFrmTavimo::AssignSkinNames() {
  const struct {
    TMouseImage* button;
    const char* normal;
    const char* over;
    const char* down;
  } names[] = {
      {butdownload, "download0", "download1", "download2"},
      {butinfo, "info0", "info1", "info2"},
      {butquestion, "question0", "question1", "question2"},
      {butmini, "mini0", "mini1", "mini2"},
      {butclose, "close0", "close1", "close2"},
      {butchange, "change0", "change1", ""},  // pressing keeps the hover picture
      {butgo, "go0", "go1", "go2"},
  };
  for (const auto& n : names) {
    n.button->NormalPictureName = n.normal;
    n.button->OverPictureName = n.over;
    n.button->DownPictureName = n.down;
  }
}

void TFrmTavimo::FormClose() {
  if (std::remove(setup_.LinkListFile.c_str()) != 0) {
    // A missing file is the usual case; nothing to report.
  }
  settings_->SaveSettings();
  // The player goes before the window itself.
  myplayer.reset();
  delete PlayerArea;
  PlayerArea = nullptr;
  UnregisterHotKeys();
}

void TFrmTavimo::StopWork() {
  scan_->Stop();
  download_->Stop();
}

void TFrmTavimo::EndSession() {
  if (closed_) return;
  // As "Exit", without its message box: nobody may be there to answer it.
  StopWork();
  HttpCli1->Abort();
  HttpCli2->Abort();
  terminating_ = true;
  QCoreApplication::quit();
  close();
}

void TFrmTavimo::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  // A scan or a batch waiting in a nested loop below this handler must not go on once the
  // window is closed: nothing is fetched after a close, and the player is about to go.
  StopWork();
  if (RunGuarded(dialogs_, [this] { FormClose(); })) {
    closed_ = true;
    event->accept();
    QCoreApplication::quit();  // closing the main window ends the program
    return;
  }
  // The settings could not be saved. After "Exit" the program still ends; a close asked for
  // by the system is abandoned and the program keeps running.
  if (terminating_) {
    closed_ = true;
    event->accept();
    QCoreApplication::quit();
  } else {
    event->ignore();
  }
}

void TFrmTavimo::HideAndClear() {
  // Esc, F7 and the title bar buttons also end a scan that waits: its page would otherwise
  // refill the list that is being emptied.
  if (scan_) scan_->Stop();
  scanAfterCapture_ = false;  // nor does a scan that waits for the browser's address
  Items->ListView1->clear();
  Items->ListView2->clear();
  if (myplayer) BlankPlayer(*myplayer);
  HideWindow();
}

void TFrmTavimo::UpdateToggleImages() {
  const bool autoClose = settings_->AutoClose;
  const bool preview = settings_->IsPreview;
  imgautoclosen->setVisible(!autoClose);
  imgautoclosey->setVisible(autoClose);
  imgpreviewn->setVisible(!preview);
  imgpreviewy->setVisible(preview);
}

void TFrmTavimo::FormPaint(QPainter& painter) { DrawPlayerFrame(painter); }

void TFrmTavimo::DrawPlayerFrame(QPainter& painter) {
  const int l = 31, t = 223, w = 248, h = 131;  // the player's place, also after it is gone
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(0, 128, 0), 1));
  const QPoint points[] = {
      {l - 1, t - 1}, {l + w + 1, t - 1}, {l + w + 1, t + h + 1}, {l - 1, t + h + 1}, {l - 1, t - 1}};
  painter.drawPolyline(points, 5);
}

void TFrmTavimo::FormKeyPress(char key) {
  if (key == 27) HideAndClear();
}

void TFrmTavimo::butcloseClick() { HideAndClear(); }
void TFrmTavimo::butminiClick() { HideAndClear(); }

void TFrmTavimo::butinfoClick() {
  // Each opening makes a new box; the window owns them all.
  auto* about = new TfrmAbout(this, dialogs_);
  dialogs_.ExecModal(*about);
}

void TFrmTavimo::butquestionClick() {
  TRegistry reg(*setup_.Registry);
  reg.OpenKeyReadOnly(kTavimoKey);
  const std::string help = reg.ReadString("helppath");
  if (dialogs_.ShellOpen(help)) return;
  // Silence here would leave the user guessing: say where the page is, so it can be opened by
  // hand.
  const std::string text = help.empty()
                               ? "The help page was not found. It is installed as share/doc/tavimo/help.html "
                                 "below Tavimo's installation prefix."
                               : "No program could open the help page. Open it in a web browser:\n" + help;
  dialogs_.ShowMessage(this, kMainCaption, text, MessageIcon::None);
}

void TFrmTavimo::Image1Click() { dialogs_.ShellOpen(MakerWebPage()); }

void TFrmTavimo::MouseEffectImage1Click() {
  auto* options = new TfrmOption(this, *settings_, *this, dialogs_);
  dialogs_.ExecModal(*options);
}

void TFrmTavimo::imgautocloseyClick() {
  imgautoclosen->show();
  imgautoclosey->hide();
  settings_->AutoClose = false;
}

void TFrmTavimo::imgautoclosenClick() {
  imgautoclosen->hide();
  imgautoclosey->show();
  settings_->AutoClose = true;
}

void TFrmTavimo::imgpreviewyClick() {
  imgpreviewn->show();
  imgpreviewy->hide();
  settings_->IsPreview = false;
  if (myplayer) PreviewSwitchedOff(*myplayer);
}

void TFrmTavimo::imgpreviewnClick() {
  imgpreviewn->hide();
  imgpreviewy->show();
  settings_->IsPreview = true;
  if (myplayer) PreviewSwitchedOn(*myplayer, *Items);
}

void TFrmTavimo::ApplicationEvents1Minimize() { hide(); }

void TFrmTavimo::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
    // Without a tray and without a hot key a hidden window could never come back: it stays
    // minimised in the taskbar instead.
    if (!WayBackAvailable()) return;
    // Hidden rather than minimised, so showing it again brings back a normal window.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    RunGuarded(dialogs_, [this] { ApplicationEvents1Minimize(); });
  }
}

void TFrmTavimo::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!placed_) {
    placed_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      move(screen->availableGeometry().center() - rect().center());
    }
  }
}

void TFrmTavimo::ApplyWindowClass() { SetX11WindowClass(*this, "tavimo", kMainWindowClass); }

bool TFrmTavimo::IsTopmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void TFrmTavimo::SetTopmost(bool on) {
  if (IsTopmost() == on) return;
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);  // recreates the X window, which hides it
  ApplyWindowClass();
  if (wasVisible) {
    show();
    ApplyWindowClass();
  }
}

bool TFrmTavimo::IsInPlayerArea(QObject* object) const {
  auto* widget = qobject_cast<QWidget*>(object);
  return PlayerArea && widget && (widget == PlayerArea || PlayerArea->isAncestorOf(widget));
}

bool TFrmTavimo::IsItemEditor(const QWidget* widget) const {
  for (const QTreeWidget* list : {Items->ListView1, Items->ListView2}) {
    if (list && list->viewport()->isAncestorOf(widget)) return true;  // editors live there
  }
  return false;
}

bool TFrmTavimo::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (!widget || widget->window() != this) break;
      const auto* key = static_cast<QKeyEvent*>(event);
      // Key preview: the window sees the key before the focused control does. Esc in an
      // in-place editor of the item list belongs to that editor: it cancels the edit only.
      if (key->key() == Qt::Key_Escape && !IsItemEditor(widget)) {
        RunGuarded(dialogs_, [this] { FormKeyPress(27); });
        return true;
      }
      if (watched == edturl && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        RunGuarded(dialogs_, [this] { edturlKeyDown(13); });
        return true;
      }
      break;
    }
    case QEvent::MouseMove:
      if (watched == edturl) RunGuarded(dialogs_, [this] { edturlMouseMove(); });
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      // The player never sees a right-button press, so its own menu cannot open.
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && IsInPlayerArea(watched)) {
        return true;
      }
      break;
    case QEvent::ContextMenu:
      if (IsInPlayerArea(watched)) return true;
      break;
    default: break;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tavimo
