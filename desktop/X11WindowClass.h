#pragma once
// Qt gives every window of the program the same WM_CLASS. Other programs find the main window
// by its own class name, so it is set on that window alone, after winId() and before show(),
// and again whenever a window-flag change has recreated the X window.
#include <string>

class QWidget;

namespace tavimo {

// Sets WM_CLASS (instance and class name) on the widget's X window. Does nothing without an
// X11 connection (offscreen, Wayland). Returns true when the property was set.
bool SetX11WindowClass(QWidget& window, const std::string& instanceName, const std::string& className);

// Reads WM_CLASS back ("" when there is no X11 connection or no property).
std::string X11WindowClassName(QWidget& window);

}  // namespace tavimo
