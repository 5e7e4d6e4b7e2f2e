#include "compat/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QScopeGuard>

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace tavimo {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  MessageEvent(unsigned m, std::uintptr_t w, std::intptr_t l)
      : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
  unsigned msg;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

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

MessageWindow::MessageWindow(Handler handler) : handler_(std::move(handler)) {}

MessageWindow::~MessageWindow() = default;  // ~QObject drops the events still queued for us

void MessageWindow::post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  QCoreApplication::postEvent(this, new MessageEvent(msg, wParam, lParam));
}

void MessageWindow::send(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
  DispatchGuarded([&] { handler_(msg, wParam, lParam); });
}

bool MessageWindow::event(QEvent* e) {
  if (e->type() != kMessageEvent) return QObject::event(e);
  auto* m = static_cast<MessageEvent*>(e);
  send(m->msg, m->wParam, m->lParam);
  return true;
}

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

void WaitUntil(const std::function<bool()>& done) {
  const auto rethrowPending = [] {
    if (pendingException) std::rethrow_exception(std::exchange(pendingException, nullptr));
  };
  ++waitDepth;
  const auto depth = qScopeGuard([] { --waitDepth; });
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
