#include "app/ProgramEntry.h"

#include <cstring>

#include "app/Application.h"
#include "app/FrmTavimo.h"
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

  TApplication app(argc, argv);
  QApplication::setApplicationName("tavimo");
  // The tray keeps the program alive while the window is hidden; only closing the main
  // window ends it.
  QApplication::setQuitOnLastWindowClosed(false);

  FrmTavimoSetup setup;
  if (argc > 1) setup.FirstParam = argv[1];  // only the first parameter counts, compared exactly
  TFrmTavimo FrmTavimo(std::move(setup));
  FrmTavimo.ApplyWindowClass();
  if (!FrmTavimo.StartHidden()) FrmTavimo.show();

  app.exec();
  return 0;
}

}  // namespace tavimo
