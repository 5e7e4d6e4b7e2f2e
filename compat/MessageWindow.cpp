#include "compat/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

#include "base/EventWait.h"

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

}  // namespace tavimo
