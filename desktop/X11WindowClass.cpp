#include "desktop/X11WindowClass.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "desktop/X11Connection.h"

namespace tavimo {
namespace {

// The X window as it is now. QWidget::winId() caches the first id, but the xcb backend makes
// a new X window when flags such as "stays on top" change; the QWindow knows the current one.
Window CurrentXWindow(QWidget& window) {
  window.winId();  // creates the native window when there is none yet
  const QWindow* handle = window.windowHandle();
  return static_cast<Window>(handle ? handle->winId() : window.winId());
}

}  // namespace

bool SetX11WindowClass(QWidget& window, const std::string& instanceName, const std::string& className) {
  Display* display = X11Display();
  if (!display) return false;
  const Window id = CurrentXWindow(window);
  std::string inst = instanceName, cls = className;
  XClassHint hint;
  hint.res_name = inst.data();
  hint.res_class = cls.data();
  XSetClassHint(display, id, &hint);
  XFlush(display);
  return true;
}

std::string X11WindowClassName(QWidget& window) {
  Display* display = X11Display();
  if (!display) return {};
  XClassHint hint{};
  if (XGetClassHint(display, CurrentXWindow(window), &hint) == 0) return {};
  std::string name = hint.res_class ? hint.res_class : "";
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return name;
}

}  // namespace tavimo
