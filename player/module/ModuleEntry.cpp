// The player module's entry: the program loads this library on the first preview only.
#include <QCoreApplication>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QWidget>

#include <unistd.h>

#include "player/PlayerView.h"
#include "player/module/WebPlayerView.h"

namespace {

// The emulator's folder: TAVIMO_RUFFLE_DIR, else the copy installed under the running program's
// prefix, else the configured installed copy, else the source tree's (when run from a build folder).
QString FindRuffleDir() {
  QStringList candidates;
  const QString fromEnv = qEnvironmentVariable("TAVIMO_RUFFLE_DIR");
  if (!fromEnv.isEmpty()) candidates << fromEnv;
  candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/../" TAVIMO_RELATIVE_RUFFLE)
             << QStringLiteral(TAVIMO_INSTALLED_RUFFLE) << QStringLiteral(TAVIMO_SOURCE_RUFFLE);
  for (const QString& dir : candidates) {
    if (QFileInfo::exists(dir + QStringLiteral("/ruffle.js"))) return dir;
  }
  return {};
}

}  // namespace

// Qt's own setter of the shared context (exported by Qt GUI, declared in a private header).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// The web engine draws through a GL context shared with the application's; Qt makes it when
// the program asks before creating the application object. A program that did not ask gets it
// made here, before the engine's first use.
bool EnsureSharedGlContext() {
  if (QOpenGLContext::globalShareContext()) return true;
  auto* context = new QOpenGLContext(qApp);
  if (!context->create()) {
    delete context;
    return false;
  }
  qt_gl_set_global_share_context(context);
  return true;
}

// The emulator is 14 MB of WebAssembly. Compiling each function when it first runs, with the
// quick baseline compiler only, more than halves the first preview's CPU time here (about 1.1 s
// instead of 2.3 s for start, page and first frame); the optimising compiler's faster code buys
// nothing visible in a 248 x 131 preview. Read by the engine when it starts, after this module
// is loaded.
void AddEngineFlags() {
  // The engine will not start its sandbox as root; without this the preview area would just
  // stay empty when Tavimo runs as root (containers, CI).
  if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains("--js-flags")) return;  // the user's own choice stands
  flags += " --js-flags=--wasm-lazy-compilation,--liftoff-only";
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

}  // namespace

extern "C" Q_DECL_EXPORT tavimo::PlayerView* tavimo_create_player_view(QWidget* parent) {
  const QString dir = FindRuffleDir();
  if (dir.isEmpty()) {
    qWarning("Tavimo: the Flash player's files are missing; run scripts/setup.sh");
    return nullptr;
  }
  if (!EnsureSharedGlContext()) {
    qWarning("Tavimo: no OpenGL context for the Flash player");
    return nullptr;
  }
  AddEngineFlags();
  return new tavimo::WebPlayerView(parent, dir);
}
