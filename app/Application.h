#pragma once
// The application object. Whatever a handler throws ends up here at the latest: its text is
// shown in a message box through the dialogs it was handed and the program goes on with the
// next event.
#include <QApplication>
#include <memory>

namespace tavimo {

class Dialogs;

class TApplication : public QApplication {
 public:
  // `dialogs` (not owned) shows the error box; the desktop backend, owned, when null.
  TApplication(int& argc, char** argv, Dialogs* dialogs = nullptr);
  ~TApplication() override;
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs* dialogs_;
};

}  // namespace tavimo
