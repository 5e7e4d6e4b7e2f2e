#pragma once
// The application object. Whatever a handler throws ends up here at the latest: its text is
// shown in a message box through the dialog seam and the program goes on with the next event.
#include <QApplication>

namespace tavimo {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tavimo
