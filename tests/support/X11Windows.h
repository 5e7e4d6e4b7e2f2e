#pragma once
// Looking at the top-level windows of the X display the desktop tests run on. The program's
// windows come and go while a test looks, so tests set an X error handler that ignores a
// window that vanished; a vanished window is then simply not listed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

namespace tavimo::test {

// The desktop tests' connection to their X display (null when there is none). An error about a
// window that vanished meanwhile is ignored; Xlib's default handler would end the test.
class XDisplay {
 public:
  XDisplay() : dpy_(XOpenDisplay(nullptr)) {
    if (dpy_) XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~XDisplay() {
    if (dpy_) XCloseDisplay(dpy_);
  }
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;
  Display* get() const { return dpy_; }

 private:
  Display* dpy_;
};

// The viewable children of the root window, bottom to top.
inline std::vector<Window> ViewableTopLevels(Display* dpy) {
  Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
  unsigned n = 0;
  std::vector<Window> shown;
  if (!XQueryTree(dpy, root, &root, &parent, &children, &n)) return shown;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes attr{};
    if (XGetWindowAttributes(dpy, children[i], &attr) && attr.map_state == IsViewable)
      shown.push_back(children[i]);
  }
  if (children) XFree(children);
  return shown;
}

// The window's title (WM_NAME), empty when it has none.
inline std::string WindowTitle(Display* dpy, Window w) {
  char* name = nullptr;
  if (!XFetchName(dpy, w, &name) || !name) return {};
  std::string title = name;
  XFree(name);
  return title;
}

// The class part of the window's WM_CLASS, empty when it has none.
inline std::string WindowClass(Display* dpy, Window w) {
  XClassHint hint{};
  if (!XGetClassHint(dpy, w, &hint)) return {};
  std::string cls = hint.res_class ? hint.res_class : "";
  XFree(hint.res_name);
  XFree(hint.res_class);
  return cls;
}

}  // namespace tavimo::test
