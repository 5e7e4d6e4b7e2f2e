#pragma once
// The hidden notification window of a component: messages posted to it (from any thread) are
// queued as Qt events and handled on the thread that owns it, the UI thread. Message numbers
// stay Windows' (WM_USER + n), as the components were written against them.
#include <QObject>

#include <cstdint>
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

}  // namespace tavimo
