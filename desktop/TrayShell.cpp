#include "desktop/TrayShell.h"

#include <QCursor>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <initializer_list>

namespace tavimo {
namespace {

// QSystemTrayIcon reports whole activations, and on X11 it does so on the button press. The
// component was written against a shell that reports each press and release, so every
// activation becomes the notifications that shell would send for it: a single click is down and
// up; the second press of a double click arrives as a double-click activation (Qt sends one
// Trigger for the first press, then DoubleClick), which the shell reports as double click and up.
class QtTrayShell final : public TrayShell {
 public:
  QtTrayShell() {
    // The menu is never handed to Qt: the component pops it up itself on the right-button
    // notification, so the icon's own logic decides when a menu appears.
    QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                     [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
  }

  bool Add(const TrayIconRecord& record) override {
    Apply(record);
    icon_.show();
    return icon_.isVisible();
  }

  bool Modify(const TrayIconRecord& record) override {
    if (!icon_.isVisible()) return false;
    Apply(record);
    return true;
  }

  bool Delete() override {
    const bool shown = icon_.isVisible();
    icon_.hide();
    return shown;
  }

  void SetNoticeHandler(NoticeHandler handler) override { handler_ = std::move(handler); }

  QPoint CursorPos() const override { return QCursor::pos(); }

  KeyModifiers Modifiers() const override {
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    return {held.testFlag(Qt::ShiftModifier), held.testFlag(Qt::ControlModifier),
            held.testFlag(Qt::AltModifier)};
  }

  bool HostAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

 private:
  void Apply(const TrayIconRecord& record) {
    icon_.setIcon(record.Icon);
    icon_.setToolTip(QString::fromUtf8(record.Tip.data(), static_cast<qsizetype>(record.Tip.size())));
  }

  void Activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
      case QSystemTrayIcon::Trigger: return Post({TrayNotice::LeftDown, TrayNotice::LeftUp});
      case QSystemTrayIcon::DoubleClick: return Post({TrayNotice::LeftDoubleClick, TrayNotice::LeftUp});
      case QSystemTrayIcon::Context: return Post({TrayNotice::RightDown, TrayNotice::RightUp});
      case QSystemTrayIcon::MiddleClick: return Post({TrayNotice::MiddleDown, TrayNotice::MiddleUp});
      case QSystemTrayIcon::Unknown: return;
    }
  }

  // Queued like the shell's messages: the handler runs from the event loop, not inside Qt's
  // mouse-press handling of the icon window, so a popup menu opened there starts cleanly.
  // Notices still queued when the shell goes are dropped with the icon object.
  void Post(std::initializer_list<TrayNotice> notices) {
    for (TrayNotice notice : notices) {
      QMetaObject::invokeMethod(
          &icon_,
          [this, notice] {
            if (handler_) handler_(notice);
          },
          Qt::QueuedConnection);
    }
  }

  QSystemTrayIcon icon_;
  NoticeHandler handler_;
};

}  // namespace

std::unique_ptr<TrayShell> CreateDesktopTrayShell() { return std::make_unique<QtTrayShell>(); }

}  // namespace tavimo
