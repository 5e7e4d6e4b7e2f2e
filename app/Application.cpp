#include "app/Application.h"

#include "platform/HandlerGuard.h"

namespace tavimo {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportHandlerException(std::current_exception());
    return true;  // the event counts as handled: the rest of its handler was abandoned
  }
}

}  // namespace tavimo
