#pragma once
// The hidden notification window of a component: messages posted to it (from any thread) are
// queued as Qt events and handled on the thread that owns it, the UI thread. Message numbers
// stay Windows' (WM_USER + n), as the components were written against them.
#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>

namespace tavimo {

constexpr unsigned WM_USER = 0x0400;

class MessageWindow : public QObject {
 public:
  using Handler = std::function<void(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)>;

  explicit MessageWindow(Handler handler);
  ~MessageWindow() override;
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Thread-safe; the message is dropped if the window is destroyed before it is handled.
  void post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
  // Handles a message at once, on the calling (owning) thread, through the same guard.
  void send(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

 protected:
  bool event(QEvent* e) override;

 private:
  Handler handler_;
};

// Handles what is waiting in the calling thread's queue, without blocking.
void ProcessMessages();
// Handles events, blocking in the event loop while none are waiting (never spins), until done()
// holds. done() is asked again after every batch of events handled, before the loop may block:
// an event handled just before a wait can end it. Rethrows an exception that a message handler
// raised meanwhile.
void WaitUntil(const std::function<bool()>& done);

// An exception that escapes a message handler never crosses Qt's event loop. If a waiting
// call (WaitUntil) is active it is handed to that caller; otherwise it goes here (by
// default to stderr; the desktop program's application object installs its error box).
using UnhandledExceptionHandler = std::function<void(std::exception_ptr)>;
void SetUnhandledExceptionHandler(UnhandledExceptionHandler handler);
// Runs fn under the guard above; used by the message windows and the socket notices.
void DispatchGuarded(const std::function<void()>& fn);

}  // namespace tavimo
