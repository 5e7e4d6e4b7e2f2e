#pragma once
// The program's own X11 connection, as Qt opened it. Null without X11: under the offscreen
// platform, on Wayland, or before the application object exists.
struct _XDisplay;
struct xcb_connection_t;

namespace tavimo {

_XDisplay* X11Display();
xcb_connection_t* X11Connection();

}  // namespace tavimo
