#include "app/ProgramEntry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#ifdef TAVIMO_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include "app/Application.h"
#include "app/FrmTavimo.h"
#include "app/SkinPreload.h"
#include "detect/HttpMovieFetcher.h"
#include "platform/InstanceLock.h"
#include "desktop/Dialogs.h"
#include "desktop/KeySynth.h"
#include "platform/Paths.h"
#include "player/ShockwaveFlash.h"
#include "platform/TerminationSignals.h"
#include "desktop/X11Message.h"

namespace tavimo {
namespace {

constexpr char kUsage[] =
    "Usage: tavimo [-mini]\n"
    "Finds the Flash movies a web page uses, previews them and saves the ones you pick.\n"
    "\n"
    "  -mini    start hidden: the tray icon and the hot keys F7 (scan the browser's page)\n"
    "           and F6 (show or hide the window) only\n"
    "  --help   print this help and end\n"
    "\n"
    "A second start while Tavimo runs shows or hides the running copy. The scan without a\n"
    "window is tavimo-scan (man tavimo-scan); the manual is man tavimo.\n";

// True when the first parameter asks for the usage rather than the window.
bool AsksForHelp(int argc, char** argv) {
  return argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

}  // namespace

void SayPreviewFailures(THttpMovieFetcher& fetcher, TFrmTavimo* const& window) {
  fetcher.OnNotShown = [&window](const std::string&, const std::string& text) {
    if (window) window->ShowStatus(text);
  };
}

int RunProgram(int argc, char** argv) {
  // The usage is printed before anything else: no lock, no nudge of a running copy, no window.
  if (AsksForHelp(argc, argv)) {
    const bool written = std::fputs(kUsage, stdout) >= 0 && std::fflush(stdout) == 0;
    if (!written) std::fprintf(stderr, "tavimo: cannot write the usage: %s\n", std::strerror(errno));
    return written ? 0 : 1;
  }

  // The lock is taken before any Qt object exists, so a second start nudges the running copy
  // within milliseconds and never opens a window. It is held until the process ends.
  static InstanceLock instanceLock;
  if (instanceLock.Acquire(InstanceLockPath()) == InstanceLock::Outcome::AlreadyRunning) {
    SynthesiseF7Press();
    // The press reaches the running copy only while it holds F7 (another program may hold it).
    // The nudge reaches its main window in any case; the copy lets exactly one of the two act.
    SendX11Message(kMainWindowClass, kPrivateMessage, MessageSender::SecondStart);
    return 0;
  }

  // Reading the font configuration and decoding the skin are the largest costs before the
  // window can show; both run while the application object connects to the display.
  StartSkinPreload();
#ifdef TAVIMO_HAVE_FONTCONFIG
  std::thread fontConfig([] { FcInit(); });
#endif
  // Only the first parameter counts, compared exactly, as given: the application object
  // removes its own options (-style, -platform ...) from argv, which would shift another
  // parameter into first place.
  const std::string firstParam = argc > 1 ? argv[1] : "";
  // One desktop backend shows every message box, the window's and the last-resort error box.
  QtDialogs dialogs;
  TApplication app(argc, argv, &dialogs);
#ifdef TAVIMO_HAVE_FONTCONFIG
  fontConfig.join();
#endif
  QApplication::setApplicationName("tavimo");
  // The tray keeps the program alive while the window is hidden; only closing the main
  // window ends it.
  QApplication::setQuitOnLastWindowClosed(false);

  // The preview player fetches movies with the program's own HTTP client, through the browser
  // proxy the settings store reads. The fetcher outlives the window and so the player.
  TFrmTavimo* window = nullptr;
  THttpMovieFetcher movieFetcher([&window](std::string& host, std::string& port) {
    if (!window || !window->Settings().ReadProxySettings()) return false;
    host = window->Settings().ProxyHost;
    port = window->Settings().ProxyPort;
    return true;
  });
  SayPreviewFailures(movieFetcher, window);

  // A logout, `kill` or Ctrl+C ends the program as "Exit" does, also while the creation's
  // "-menuext" scan runs; a signal before the window exists ends the start-up right after it.
  bool endRequested = false;
  TerminationSignals endSignals([&window, &endRequested](int) {
    endRequested = true;
    if (window) window->EndSession();
  });

  FrmTavimoSetup setup;
  setup.FirstParam = firstParam;
  setup.Dialogs = &dialogs;
  setup.PlayerFactory = [&movieFetcher](QWidget* host) -> std::unique_ptr<FlashPlayer> {
    return std::make_unique<TShockwaveFlash>(host, movieFetcher);
  };
  // Known from the start of its creation, whose handler may already wait on the network.
  setup.Created = [&window](TFrmTavimo* created) { window = created; };
  TFrmTavimo FrmTavimo(std::move(setup));
  if (endRequested && !FrmTavimo.Closed()) FrmTavimo.EndSession();
  if (FrmTavimo.Closed()) return 0;  // ended during its creation: the loop would never end
  movieFetcher.MaxMovieBytes = FrmTavimo.Settings().Values.Get(Setting::MovieBytes);
  FrmTavimo.ApplyWindowClass();
  if (!FrmTavimo.StartHidden()) FrmTavimo.show();

  // The session manager's quit ends the loop without closing a hidden window.
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &FrmTavimo, [&FrmTavimo] {
    if (!FrmTavimo.Closed()) FrmTavimo.EndSession();
  });

  app.exec();
  return 0;
}

}  // namespace tavimo
