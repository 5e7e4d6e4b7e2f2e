#include "desktop/X11Connection.h"

#include <QGuiApplication>

namespace tavimo {
namespace {

QNativeInterface::QX11Application* X11App() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  // Under the offscreen platform the interface exists but carries no connection.
  if (!x11 || !x11->display() || !x11->connection()) return nullptr;
  return x11;
}

}  // namespace

_XDisplay* X11Display() {
  auto* x11 = X11App();
  return x11 ? x11->display() : nullptr;
}

xcb_connection_t* X11Connection() {
  auto* x11 = X11App();
  return x11 ? x11->connection() : nullptr;
}

}  // namespace tavimo
