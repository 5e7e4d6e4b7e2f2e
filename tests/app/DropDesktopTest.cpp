// A link dragged from another X client onto the address field of the real main window: the
// XDND exchange of two Qt programs, with real pointer motion from xdotool.
#include <QProcess>

#include "controls/FlatEdit.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using DropDesktopTest = FormTest;

TEST_F(DropDesktopTest, LinkDraggedFromAnotherProgramLandsInTheAddressField) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  TFrmTavimo& f = Form();
  f.edturl->setText("http://old.example/");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));

  // The source sits clear of the main window.
  const QRect place(f.geometry().right() + 40 > 1180 ? 20 : f.geometry().right() + 40, 20, 100, 80);
  QProcess source;
  source.start(TAVIMO_DRAG_SOURCE,
               {"--place",
                QString("%1,%2,%3,%4").arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height()),
                "--link", "http://dragged.example/flash.htm", "Flash page"});
  ASSERT_TRUE(source.waitForStarted());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return source.canReadLine() || source.state() != QProcess::Running; }, 10000));
  ASSERT_EQ(source.readLine().trimmed(), "ready");

  // Press in the source, then move to the field in small steps: XDND follows real motion.
  const QPoint from = place.center();
  const QPoint to = f.edturl->mapToGlobal(f.edturl->rect().center());
  QStringList steps = {"mousemove",
                       QString::number(from.x()),
                       QString::number(from.y()),
                       "sleep",
                       "0.2",
                       "mousedown",
                       "1",
                       "sleep",
                       "0.2"};
  for (int i = 1; i <= 12; ++i) {
    const QPoint p = from + (to - from) * i / 12;
    steps << "mousemove" << QString::number(p.x()) << QString::number(p.y()) << "sleep"
          << "0.1";
  }
  steps << "sleep"
        << "0.2"
        << "mouseup"
        << "1";
  QProcess xdotool;
  xdotool.start("xdotool", steps);
  ASSERT_TRUE(xdotool.waitForStarted());

  EXPECT_TRUE(QTest::qWaitFor([&] { return f.edturl->text() == "http://dragged.example/flash.htm"; }, 20000))
      << f.edturl->text().toStdString();
  EXPECT_EQ(f.edturl->toolTip(), "Flash page");
  // The source was told the drop linked.
  ASSERT_TRUE(QTest::qWaitFor([&] { return source.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(source.readAll().trimmed(), "done 4");
  EXPECT_TRUE(QTest::qWaitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 10000));
}

}  // namespace
}  // namespace tavimo::test
