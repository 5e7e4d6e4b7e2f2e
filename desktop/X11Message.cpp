#include "desktop/X11Message.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <xcb/xcb.h>

#include "desktop/X11WindowClass.h"
#include "desktop/X11Connection.h"

namespace tavimo {
namespace {

// Windows vanish while we look at them; their errors mean nothing here, and Xlib's default
// handler would end the process.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool HasClass(Display* dpy, Window w, const std::string& windowClass) {
  XClassHint hint{};
  if (XGetClassHint(dpy, w, &hint) == 0) return false;
  const bool match = hint.res_class && windowClass == hint.res_class;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return match;
}

std::vector<Window> Children(Display* dpy, Window w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(dpy, w, &root, &parent, &children, &n) && children) {
    out.assign(children, children + n);
    XFree(children);
  }
  return out;
}

// Top-level windows are the root's children, or, while a reparenting window manager frames
// them, the children of those frames. A hidden window is a child of the root either way, and
// _NET_CLIENT_LIST would miss it.
std::vector<Window> FindWindows(Display* dpy, const std::string& windowClass) {
  std::vector<Window> found;
  for (Window top : Children(dpy, DefaultRootWindow(dpy))) {
    if (HasClass(dpy, top, windowClass)) {
      found.push_back(top);
      continue;
    }
    for (Window inner : Children(dpy, top))
      if (HasClass(dpy, inner, windowClass)) found.push_back(inner);
  }
  return found;
}

}  // namespace

int SendX11Message(const std::string& windowClass, long message, MessageSender from) {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return 0;
  XErrorHandler previous = XSetErrorHandler(IgnoreXError);
  const Atom type = XInternAtom(dpy, kMessageAtom, False);
  int sent = 0;
  for (Window w : FindWindows(dpy, windowClass)) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = message;
    event.xclient.data.l[1] = static_cast<long>(from);
    // No event mask: the message goes to the client that created the window.
    if (XSendEvent(dpy, w, False, NoEventMask, &event)) ++sent;
  }
  XSync(dpy, False);
  XSetErrorHandler(previous);
  XCloseDisplay(dpy);
  return sent;
}

// A widget's first X window (and a new QWindow) announce themselves: set the class at once, so
// a hidden window is findable from its creation.
class X11Message::WindowWatch : public QObject {
 public:
  explicit WindowWatch(X11Message& owner) : owner_(owner) { owner_.window_.installEventFilter(this); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::WinIdChange) owner_.ApplyClass();
    return false;
  }

 private:
  X11Message& owner_;
};

X11Message::X11Message(QWidget& window, std::string instanceName, std::string className, Handler handler)
    : window_(window),
      instanceName_(std::move(instanceName)),
      className_(std::move(className)),
      handler_(std::move(handler)) {
  auto* c = X11Connection();
  if (!c) return;
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(kMessageAtom)), kMessageAtom), nullptr);
  if (!reply) return;
  atom_ = reply->atom;
  std::free(reply);
  QCoreApplication::instance()->installNativeEventFilter(this);
  watch_ = std::make_unique<WindowWatch>(*this);
  ApplyClass();
}

bool X11Message::ApplyClass() {
  const QWindow* handle = window_.windowHandle();
  // A window not yet created gets its class with the first event after its creation.
  if (!atom_ || !handle || !handle->handle()) return false;
  classed_ = static_cast<std::uint32_t>(handle->winId());
  return SetX11WindowClass(window_, instanceName_, className_);
}

X11Message::~X11Message() {
  if (atom_ && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11Message::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (!atom_ || eventType != "xcb_generic_event_t") return false;
  // The xcb backend replaces the X window of a QWindow without any Qt event (a flag change, the
  // first OpenGL or web view inside). The new window soon sees its first events (Qt sets its
  // properties at once), so this is where it gets its class.
  if (const QWindow* handle = window_.windowHandle();
      handle && handle->handle() && static_cast<std::uint32_t>(handle->winId()) != classed_)
    ApplyClass();
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  // Sent events carry the high bit.
  if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
  const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
  if (client->type != atom_ || client->format != 32) return false;
  const QWindow* handle = window_.windowHandle();
  if (!handle || client->window != static_cast<xcb_window_t>(handle->winId())) return false;
  // data32 holds the longs of the sender, cut to 32 bits.
  const long number = static_cast<std::int32_t>(client->data.data32[0]);
  const auto from = static_cast<MessageSender>(static_cast<std::int32_t>(client->data.data32[1]));
  QMetaObject::invokeMethod(
      &context_, [this, number, from] { handler_(number, from); }, Qt::QueuedConnection);
  return true;
}

}  // namespace tavimo
