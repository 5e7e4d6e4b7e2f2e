#include "desktop/HandlerGuard.h"

#include <QApplication>
#include <QWidget>
#include <stdexcept>

#include "desktop/Dialogs.h"

namespace tavimo {

void ReportHandlerException(Dialogs& dialogs, std::exception_ptr error) {
  std::string text;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = "An unexpected error stopped the last command.";
  }
  QWidget* owner = qApp ? QApplication::activeWindow() : nullptr;
  dialogs.ShowMessage(owner, kErrorCaption, text, MessageIcon::Error);
}

bool RunGuarded(Dialogs& dialogs, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (...) {
    ReportHandlerException(dialogs, std::current_exception());
    return false;
  }
}

}  // namespace tavimo
