#include "components/RxTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QVariant>
#include <QWidget>

#include "desktop/HandlerGuard.h"
#include "base/EventWait.h"

namespace tavimo {
namespace {

constexpr const char* kPopupComponentProperty = "tavimoPopupComponent";

TShiftState ButtonFlag(TMouseButton button) {
  switch (button) {
    case TMouseButton::mbLeft: return ssLeft;
    case TMouseButton::mbRight: return ssRight;
    case TMouseButton::mbMiddle: return ssMiddle;
  }
  return 0;
}

}  // namespace

std::string TrayTipFromHint(const std::string& hint) {
  std::string tip = hint.substr(0, hint.find('|'));
  if (tip.size() <= kMaxTrayTip) return tip;
  std::size_t end = kMaxTrayTip;
  // Back up to the start of a character so the tip stays valid UTF-8 when it is shown.
  while (end > 0 && (static_cast<unsigned char>(tip[end]) & 0xC0) == 0x80) --end;
  tip.resize(end);
  return tip;
}

TRxTrayIcon::TRxTrayIcon(Dialogs& dialogs, std::unique_ptr<TrayShell> shell, QObject* parent)
    : QObject(parent), dialogs_(dialogs), shell_(shell ? std::move(shell) : CreateDesktopTrayShell()) {
  shell_->SetNoticeHandler([this](TrayNotice notice) {
    // A fault in an event handler abandons the rest of this notification and is shown to the
    // user; the shell's side carries on.
    RunGuarded(dialogs_, [&] { HandleNotice(notice); });
  });
}

TRxTrayIcon::~TRxTrayIcon() {
  Enabled = false;
  shell_->SetNoticeHandler({});
  Deactivate();
}

void TRxTrayIcon::SetActive(bool on) {
  if (on == active_) return;
  active_ = on;
  if (loading_) return;
  if (on) Activate();
  else Deactivate();
}

void TRxTrayIcon::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (!loading_) Changed();
}

void TRxTrayIcon::SetIcon(const QIcon& icon) {
  icon_ = icon;
  if (!loading_) Changed();
}

TrayIconRecord TRxTrayIcon::Record() const { return {icon_, TrayTipFromHint(hint_)}; }

void TRxTrayIcon::Activate() {
  Deactivate();
  if (icon_.isNull()) return;
  clicked_ = 0;
  const TrayIconRecord record = Record();
  added_ = shell_->Add(record);
  // Sent once more so that a shell keeping an earlier tip drops it.
  if (record.Tip.empty() && added_) shell_->Modify(record);
}

void TRxTrayIcon::Deactivate() {
  shell_->Delete();
  added_ = false;
  clicked_ = 0;
}

void TRxTrayIcon::Changed() {
  if (added_) {
    if (icon_.isNull()) Deactivate();
    else shell_->Modify(Record());
  } else if (active_) {
    Activate();
  }
}

void TRxTrayIcon::Loaded() {
  loading_ = false;
  if (active_) Activate();
}

void TRxTrayIcon::RaiseDown(TMouseButton button, TShiftState shift, QPoint at) {
  if (OnMouseDown) OnMouseDown(this, button, shift, at.x(), at.y());
}

void TRxTrayIcon::RaiseUp(TMouseButton button, TShiftState shift, QPoint at) {
  if (OnMouseUp) OnMouseUp(this, button, shift, at.x(), at.y());
}

void TRxTrayIcon::HandleNotice(TrayNotice notice) {
  if (!Enabled) return;
  const KeyModifiers keys = shell_->Modifiers();
  const TShiftState held = (keys.Shift ? ssShift : 0u) | (keys.Ctrl ? ssCtrl : 0u) | (keys.Alt ? ssAlt : 0u);
  const QPoint at = shell_->CursorPos();
  using B = TMouseButton;
  // The button notifications: down marks the button, up clicks only a marked one, so a press
  // that began elsewhere and ended on the icon is no click.
  auto up = [&](B button, unsigned mark) {
    const TShiftState shift = held | ButtonFlag(button);
    if (clicked_ & mark) {
      clicked_ &= ~mark;
      ClickStep(button, shift, at.x(), at.y());
    }
    RaiseUp(button, shift, at);
  };
  switch (notice) {
    case TrayNotice::MouseMove:
      if (OnMouseMove) OnMouseMove(this, held, at.x(), at.y());
      break;
    case TrayNotice::LeftDown:
      RaiseDown(B::mbLeft, held | ssLeft, at);
      clicked_ |= kLeftClicked;
      break;
    case TrayNotice::LeftUp: up(B::mbLeft, kLeftClicked); break;
    case TrayNotice::LeftDoubleClick:
      DoubleClickStep();
      RaiseDown(B::mbLeft, held | ssDouble, at);
      break;
    case TrayNotice::RightDown:
      RaiseDown(B::mbRight, held | ssRight, at);
      clicked_ |= kRightClicked;
      break;
    case TrayNotice::RightUp: up(B::mbRight, kRightClicked); break;
    case TrayNotice::RightDoubleClick: RaiseDown(B::mbRight, held | ssDouble, at); break;
    case TrayNotice::MiddleDown: RaiseDown(B::mbMiddle, held | ssMiddle, at); break;
    case TrayNotice::MiddleUp: RaiseUp(B::mbMiddle, held | ssMiddle, at); break;
    case TrayNotice::MiddleDoubleClick: RaiseDown(B::mbMiddle, held | ssDouble, at); break;
  }
}

void TRxTrayIcon::ClickStep(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbRight && ShowPopup(x, y)) return;
  if (OnClick) OnClick(this, button, shift, x, y);
}

void TRxTrayIcon::DoubleClickStep() {
  QMenu* menu = PopupMenu();
  if (active_ && menu) {
    QAction* item = menu->defaultAction();
    // Only an entry of this menu counts; a default left over from elsewhere is ignored.
    if (item && item->isEnabled() && menu->actions().contains(item)) {
      item->trigger();
      return;
    }
  }
  if (OnDblClick) OnDblClick(this);
}

bool TRxTrayIcon::ShowPopup(int x, int y) {
  QMenu* menu = PopupMenu();
  if (!active_ || !menu) return false;
  const QVariant autoPopup = menu->property("AutoPopup");
  if (autoPopup.isValid() && !autoPopup.toBool()) return false;
  menu->setProperty(kPopupComponentProperty, QVariant::fromValue(static_cast<QObject*>(this)));
  // Whatever holds the mouse or has a menu open lets go first, so the menu gets the pointer.
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  for (int open = 0; open < 8; ++open) {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup || popup == menu) break;
    popup->close();
  }
  ProcessMessages();
  // The menu's entries run guarded handlers, so nothing thrown there comes back through exec.
  if (QMenu* still = PopupMenu()) still->exec(QPoint(x, y));
  return true;
}

TRxTrayIcon* TRxTrayIcon::PopupComponent(const QMenu* menu) {
  if (!menu) return nullptr;
  auto* owner = qvariant_cast<QObject*>(menu->property(kPopupComponentProperty));
  return dynamic_cast<TRxTrayIcon*>(owner);
}

}  // namespace tavimo
