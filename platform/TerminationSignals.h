#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal, `kill`) end the program the
// same way "Exit" does, so the settings are saved and the link list file removed. The signal
// handler only writes the signal number to a pipe; the callback runs later on the thread that
// owns this object, inside the event loop.
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tavimo {

class TerminationSignals : public QObject {
 public:
  // Installs the handlers; the callback receives the signal number. One instance at a time.
  explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
  // Restores the default dispositions.
  ~TerminationSignals() override;

 private:
  std::function<void(int)> onSignal_;
  int readFd_ = -1;
  int writeFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tavimo
