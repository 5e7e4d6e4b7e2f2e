#include "desktop/KeySynth.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tavimo {

void SynthesiseF7Press() {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor)) {
    const KeyCode code = XKeysymToKeycode(dpy, XK_F7);
    if (code != 0) {
      XTestFakeKeyEvent(dpy, code, True, CurrentTime);
      XTestFakeKeyEvent(dpy, code, False, CurrentTime);
      XSync(dpy, False);
    }
  }
  XCloseDisplay(dpy);
}

}  // namespace tavimo
