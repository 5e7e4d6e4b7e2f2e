#include "app/Application.h"

#include <cstdio>
#include <exception>

#include "base/EventWait.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

TApplication::TApplication(int& argc, char** argv, Dialogs* dialogs)
    : QApplication(argc, argv),
      ownDialogs_(dialogs ? nullptr : std::make_unique<QtDialogs>()),
      dialogs_(dialogs ? dialogs : ownDialogs_.get()) {
  // An error that escapes a message handler is shown like any other handler's error.
  SetUnhandledExceptionHandler(
      [this](std::exception_ptr error) { ReportHandlerException(*dialogs_, error); });
}

// The handler refers to this object; after it a message handler's error goes to stderr.
TApplication::~TApplication() {
  SetUnhandledExceptionHandler([](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tavimo: unhandled error: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "tavimo: unhandled error\n");
    }
  });
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportHandlerException(*dialogs_, std::current_exception());
    return true;  // the event counts as handled: the rest of its handler was abandoned
  }
}

}  // namespace tavimo
