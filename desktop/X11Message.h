#pragma once
// Window message 0x464 between processes: an X11 client message sent to the main window, which
// other programs find by its WM_CLASS. The client message has the type atom "_TAVIMO_MESSAGE"
// and format 32; data.l[0] is the message number (0x464) and data.l[1] says who sent it
// (MessageSender). The receiver accepts it only on the watched window, and keeps that window
// findable: Qt makes a new X window, without our WM_CLASS, when a flag changes or when a web
// or OpenGL view first appears inside it.
#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace tavimo {

inline constexpr long kPrivateMessage = 0x464;  // WM_USER + 100
inline constexpr const char* kMessageAtom = "_TAVIMO_MESSAGE";

enum class MessageSender : long {
  OtherProgram = 0,
  SecondStart = 1,  // a second start of Tavimo, which has also pressed F7
};

// Sends the message to every top-level window whose WM_CLASS class is windowClass, on the X
// display named by $DISPLAY. Plain Xlib, so it works before any Qt object exists. Returns the
// number of windows it went to (0 without a display or without such a window).
int SendX11Message(const std::string& windowClass, long message, MessageSender from);

class X11Message : public QAbstractNativeEventFilter {
 public:
  using Handler = std::function<void(long message, MessageSender from)>;

  // Watches the widget's X window, whichever it is at the time, and gives every X window the
  // widget gets the WM_CLASS (instanceName, className). The handler runs from the event loop
  // after the native event was handled. Without X11 nothing arrives and nothing fails.
  X11Message(QWidget& window, std::string instanceName, std::string className, Handler handler);
  ~X11Message() override;
  X11Message(const X11Message&) = delete;
  X11Message& operator=(const X11Message&) = delete;

  bool Listening() const { return atom_ != 0; }
  // Sets the class on the current X window now (also done by itself for every new X window).
  bool ApplyClass();

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  QWidget& window_;
  std::string instanceName_, className_;
  Handler handler_;
  class WindowWatch;

  QObject context_;  // queued handler calls die with this object
  std::unique_ptr<WindowWatch> watch_;
  std::uint32_t atom_ = 0;
  std::uint32_t classed_ = 0;  // the X window that last got the class
};

}  // namespace tavimo
