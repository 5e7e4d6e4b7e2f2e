// Time from pressing Go in "List all Flash items in local cache" (DetectMode 2) to the first
// row of the item list on screen, in a real main window (offscreen QPA unless QT_QPA_PLATFORM
// says otherwise). The settings file, the caches and the runtime folder come from the XDG
// variables that run.sh points into its own folders.
// The clock starts just before the mouse press on Go and stops when the list's viewport gets
// its first paint event with rows in the list.
// Prints "<ms to first row> <ms in the Go handler> <rows>".
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>

#include "app/Application.h"
#include "app/FrmTavimo.h"
#include "components/MouseImage.h"

namespace {

class FirstRowPaint : public QObject {
 public:
  FirstRowPaint(const QTreeWidget& urls, const QElapsedTimer& clock) : urls_(urls), clock_(clock) {}
  qint64 PaintedNs = -1;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && PaintedNs < 0 && clock_.isValid() &&
        urls_.topLevelItemCount() > 0) {
      PaintedNs = clock_.nsecsElapsed();
    }
    return false;
  }

 private:
  const QTreeWidget& urls_;
  const QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  tavimo::TApplication app(argc, argv);
  tavimo::FrmTavimoSetup setup;  // the settings file of the home run.sh made: DetectOption=3
  tavimo::TFrmTavimo form(std::move(setup));
  if (form.Settings().DetectMode != 2) {
    std::fprintf(stderr, "the settings file does not select DetectMode 2\n");
    return 2;
  }
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    std::fprintf(stderr, "the window was never exposed\n");
    return 2;
  }
  QTest::qWait(200);  // let the start-up work settle

  // The URL list (ListView1) by its name.
  auto* urls = form.findChild<QTreeWidget*>("ListView1");
  if (!urls) {
    std::fprintf(stderr, "no ListView1 in the window\n");
    return 2;
  }
  QElapsedTimer clock;
  FirstRowPaint probe(*urls, clock);
  urls->viewport()->installEventFilter(&probe);
  clock.start();
  QTest::mouseClick(form.butgo, Qt::LeftButton, {}, QPoint(10, 10));
  const qint64 handlerNs = clock.nsecsElapsed();
  if (!QTest::qWaitFor([&probe] { return probe.PaintedNs >= 0; }, 10000)) {
    std::fprintf(stderr, "no row was painted (%d rows)\n", urls->topLevelItemCount());
    return 1;
  }
  std::printf("%.1f %.1f %d\n", static_cast<double>(probe.PaintedNs) / 1e6,
              static_cast<double>(handlerNs) / 1e6, urls->topLevelItemCount());
  return 0;
}
