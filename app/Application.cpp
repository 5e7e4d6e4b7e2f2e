#include "app/Application.h"

#include "platform/MessageWindow.h"
#include "platform/desktop/HandlerGuard.h"

namespace tavimo {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // An error that escapes a message handler is shown like any other handler's error.
  SetUnhandledExceptionHandler(ReportHandlerException);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportHandlerException(std::current_exception());
    return true;  // the event counts as handled: the rest of its handler was abandoned
  }
}

}  // namespace tavimo
