#include "app/ProgramEntry.h"

#include <QApplication>
#include <QWidget>
#include <cstring>

#include "platform/InstanceLock.h"
#include "platform/KeySynth.h"
#include "platform/Paths.h"

namespace tavimo {

int RunProgram(int argc, char** argv) {
  // The lock is taken before any Qt object exists, so a second start nudges the running copy
  // within milliseconds and never opens a window. It is held until the process ends.
  static InstanceLock instanceLock;
  if (instanceLock.Acquire(InstanceLockPath()) == InstanceLock::Outcome::AlreadyRunning) {
    SynthesiseF7Press();
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("tavimo");
  QApplication::setQuitOnLastWindowClosed(false);

  // Stands in for the main window until it exists.
  QWidget mainWindow;
  mainWindow.setObjectName("FrmTavimo");
  mainWindow.setWindowTitle("Tavimo V4.0");
  mainWindow.setFixedSize(563, 472);
  QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);

  // Only the first parameter counts, compared exactly.
  const bool startHidden = argc > 1 && std::strcmp(argv[1], "-mini") == 0;
  if (!startHidden) mainWindow.show();

  app.exec();
  return 0;
}

}  // namespace tavimo
