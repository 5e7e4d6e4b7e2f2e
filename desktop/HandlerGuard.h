#pragma once
// Exceptions never cross Qt's event loop. A handler that throws is abandoned at that point and
// the error's text is shown in a message box through the dialogs its owner was handed; the
// program goes on. The application object's notify() catches what reaches it; handlers
// connected to signals and posted callbacks run inside RunGuarded so the exception stops
// before Qt's frames.
#include <exception>
#include <functional>
#include <string>

namespace tavimo {

class Dialogs;

// The caption of the error box.
inline constexpr const char* kErrorCaption = "Tavimo";

// Shows the text of the exception (or a generic sentence for a non-standard one).
void ReportHandlerException(Dialogs& dialogs, std::exception_ptr error);

// Runs the handler; an exception it raises is reported and swallowed. True when it completed.
bool RunGuarded(Dialogs& dialogs, const std::function<void()>& handler);

// Wraps a handler for a signal connection:
// connect(sender, &X::signal, ctx, Guarded(dialogs, [..]{..})). The dialogs outlive the
// connection (they belong to the window or to whoever made it).
template <typename F>
auto Guarded(Dialogs& dialogs, F handler) {
  return [dialogs = &dialogs, handler]() { RunGuarded(*dialogs, handler); };
}

// The same for a component event with arguments the handler does not need:
// image->OnClick = GuardedEvent(dialogs, [..]{..}).
template <typename F>
auto GuardedEvent(Dialogs& dialogs, F handler) {
  return [dialogs = &dialogs, handler](auto&&...) { RunGuarded(*dialogs, handler); };
}

}  // namespace tavimo
