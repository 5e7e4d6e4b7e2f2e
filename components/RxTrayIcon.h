#pragma once
// The icon in the desktop's notification area. While active it shows the icon with the first
// line of its hint as the tip, and it turns the shell's mouse notifications into events: a right
// click pops up its menu, a double click runs the menu's default entry or raises OnDblClick.
//
// Like a component stored with a window's layout, it starts out loading: the properties can be
// set freely and nothing reaches the shell until the owning form calls Loaded().
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "compat/ShiftState.h"
#include "desktop/TrayShell.h"

namespace tavimo {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// The longest tip the shell shows, in bytes.
inline constexpr std::size_t kMaxTrayTip = 63;

// The tip for a hint: the part before the first "|", cut to kMaxTrayTip bytes (never inside a
// UTF-8 sequence).
std::string TrayTipFromHint(const std::string& hint);

class Dialogs;

class TRxTrayIcon : public QObject {
 public:
  using MouseEvent =
      std::function<void(QObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;

  // Uses the desktop's notification area unless a shell is given. A handler's error is shown
  // through `dialogs` (not owned; they outlive the icon).
  explicit TRxTrayIcon(Dialogs& dialogs, std::unique_ptr<TrayShell> shell = nullptr,
                       QObject* parent = nullptr);
  ~TRxTrayIcon() override;
  TRxTrayIcon(const TRxTrayIcon&) = delete;
  TRxTrayIcon& operator=(const TRxTrayIcon&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool on);
  // Off: the icon stays, but no notification raises an event or shows the menu.
  bool Enabled = true;
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  const QIcon& Icon() const { return icon_; }
  void SetIcon(const QIcon& icon);
  // Reads as null once the menu has been destroyed. A menu whose dynamic property "AutoPopup"
  // is false is not popped up on a right click.
  QMenu* PopupMenu() const { return popupMenu_.data(); }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

  MouseEvent OnClick;
  std::function<void(QObject* sender)> OnDblClick;
  std::function<void(QObject* sender, TShiftState shift, int x, int y)> OnMouseMove;
  MouseEvent OnMouseDown;
  MouseEvent OnMouseUp;

  // Removes the icon, then shows it again with the current icon and tip (not with an empty icon).
  void Activate();
  // Removes the icon.
  void Deactivate();
  // The icon or hint changed: passes the change on, removes an emptied icon, or tries again to
  // show an icon the shell refused.
  void Changed();
  // The owning form has finished loading: from now on changes reach the shell.
  void Loaded();
  // Shows PopupMenu at the screen point and waits until it closes. False when nothing was shown
  // (not active, no menu, or the menu's automatic popup is off).
  bool ShowPopup(int x, int y);

  // Whether the shell took the icon.
  bool Added() const { return added_; }
  // Whether a notification area exists, so that the icon is a way back to a hidden window.
  bool HostAvailable() const { return shell_->HostAvailable(); }
  // The component a popup menu was last opened from (null for other menus).
  static TRxTrayIcon* PopupComponent(const QMenu* menu);

 private:
  enum Clicked : unsigned { kLeftClicked = 1, kRightClicked = 2 };

  TrayIconRecord Record() const;
  void HandleNotice(TrayNotice notice);
  void ClickStep(TMouseButton button, TShiftState shift, int x, int y);
  void DoubleClickStep();
  void RaiseDown(TMouseButton button, TShiftState shift, QPoint at);
  void RaiseUp(TMouseButton button, TShiftState shift, QPoint at);

  Dialogs& dialogs_;
  std::unique_ptr<TrayShell> shell_;
  bool active_ = true;
  bool loading_ = true;
  std::string hint_;
  QIcon icon_;
  QPointer<QMenu> popupMenu_;
  bool added_ = false;
  unsigned clicked_ = 0;
};

}  // namespace tavimo
