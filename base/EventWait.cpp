#include "base/EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>

#include <cstdio>
#include <utility>

namespace tavimo {
namespace {

// Per UI thread: how many waiting calls are nested, and the exception one of them must rethrow.
thread_local int waitDepth = 0;
thread_local std::exception_ptr pendingException;

UnhandledExceptionHandler& unhandledHandler() {
  // The desktop program shows the error in its error box instead (TApplication sets that).
  static UnhandledExceptionHandler handler = [](std::exception_ptr e) {
    try {
      std::rethrow_exception(std::move(e));
    } catch (const std::exception& ex) {
      std::fprintf(stderr, "tavimo: unhandled error: %s\n", ex.what());
    } catch (...) {
      std::fprintf(stderr, "tavimo: unhandled error\n");
    }
  };
  return handler;
}

}  // namespace

void DispatchGuarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    if (waitDepth > 0 && !pendingException) {
      pendingException = std::current_exception();
    } else {
      unhandledHandler()(std::current_exception());
    }
  }
}

void ProcessMessages() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitUntil(const std::function<bool()>& done, HandlerErrors errors) {
  const bool toCaller = errors == HandlerErrors::ToWaitingCall;
  const auto rethrowPending = [toCaller] {
    if (toCaller && pendingException) std::rethrow_exception(std::exchange(pendingException, nullptr));
  };
  // A wait that does not take them counts as no wait for the handlers it runs (one an outer wait
  // already holds stays with that one).
  const int outerDepth = waitDepth;
  waitDepth = toCaller ? waitDepth + 1 : 0;
  const auto depth = qScopeGuard([outerDepth] { waitDepth = outerDepth; });
  while (!done()) {
    // Queued events first, then the condition again: an event loop may deliver what is queued and
    // still block for a new one (Qt's own dispatcher does), which would be a wait for nothing.
    QCoreApplication::sendPostedEvents();
    rethrowPending();
    if (done()) return;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    rethrowPending();
  }
}

void SetUnhandledExceptionHandler(UnhandledExceptionHandler handler) {
  unhandledHandler() = std::move(handler);
}

}  // namespace tavimo
