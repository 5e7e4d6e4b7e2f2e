#pragma once
// The desktop's notification area as the tray icon component sees it: one icon with a tip that
// can be added, changed and removed, and the mouse notifications the shell sends for it. The
// component keeps its own logic (when to add, how notifications become events); this is only
// the shell's side. The desktop backend sits on QSystemTrayIcon; tests use a recording fake.
#include <QIcon>
#include <QPoint>
#include <functional>
#include <memory>
#include <string>

namespace tavimo {

// What is handed to the shell on add and modify.
struct TrayIconRecord {
  QIcon Icon;
  std::string Tip;  // display text, at most 63 bytes
};

// The shell's mouse notifications for the icon.
enum class TrayNotice {
  MouseMove,
  LeftDown,
  LeftUp,
  LeftDoubleClick,
  RightDown,
  RightUp,
  RightDoubleClick,
  MiddleDown,
  MiddleUp,
  MiddleDoubleClick,
};

struct KeyModifiers {
  bool Shift = false;
  bool Ctrl = false;
  bool Alt = false;
};

class TrayShell {
 public:
  using NoticeHandler = std::function<void(TrayNotice)>;

  virtual ~TrayShell() = default;
  // True when the shell took the icon / the change / the removal.
  virtual bool Add(const TrayIconRecord& record) = 0;
  virtual bool Modify(const TrayIconRecord& record) = 0;
  virtual bool Delete() = 0;
  // Notifications arrive here one at a time on the UI thread, each from the event loop (never
  // from inside Add, Modify or Delete).
  virtual void SetNoticeHandler(NoticeHandler handler) = 0;
  // The pointer position in screen coordinates and the keyboard's modifier keys, as they are now.
  virtual QPoint CursorPos() const = 0;
  virtual KeyModifiers Modifiers() const = 0;
  // Whether a notification area exists right now. An icon added without one is kept and shows
  // as soon as a host appears.
  virtual bool HostAvailable() const = 0;
};

// The desktop backend. Needs a QApplication.
std::unique_ptr<TrayShell> CreateDesktopTrayShell();

}  // namespace tavimo
