#pragma once
// Exceptions never cross Qt's event loop. A handler that throws is abandoned at that point and
// the error's text is shown in a message box through the dialog seam; the program goes on.
// The application object's notify() catches what reaches it; handlers connected to signals
// and posted callbacks run inside RunGuarded so the exception stops before Qt's frames.
#include <exception>
#include <functional>
#include <string>

namespace tavimo {

// The caption of the error box.
inline constexpr const char* kErrorCaption = "Tavimo";

// Shows the text of the exception (or a generic sentence for a non-standard one).
void ReportHandlerException(std::exception_ptr error);

// Runs the handler; an exception it raises is reported and swallowed. True when it completed.
bool RunGuarded(const std::function<void()>& handler);

// Wraps a handler for a signal connection: connect(sender, &X::signal, ctx, Guarded([..]{..})).
template <typename F>
auto Guarded(F handler) {
  return [handler]() { RunGuarded(handler); };
}

// The same for a component event with arguments the handler does not need:
// image->OnClick = GuardedEvent([..]{..}).
template <typename F>
auto GuardedEvent(F handler) {
  return [handler](auto&&...) { RunGuarded(handler); };
}

}  // namespace tavimo
