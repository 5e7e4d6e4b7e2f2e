// The real main window on a real X server: its window class, "Always on Top" keeping that
// class, and a screenshot with a few items listed (written to the build folder; the one in
// docs/ is a copy of it).
#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>
#include <cstdlib>

#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "desktop/X11WindowClass.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using MainWindowDesktopTest = FormTest;

QImage ScreenShot(QWidget& window) {
  QCoreApplication::processEvents();
  QTest::qWait(300);  // let the X server finish drawing
  return QGuiApplication::primaryScreen()
      ->grabWindow(0, window.x(), window.y(), window.width(), window.height())
      .toImage();
}

TEST_F(MainWindowDesktopTest, WindowClassSurvivesAlwaysOnTop) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  TFrmTavimo& f = Form();
  f.ApplyWindowClass();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_EQ(X11WindowClassName(f), "TFrmTavimo");
  f.SetTopmost(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_TRUE(f.IsTopmost());
  EXPECT_EQ(X11WindowClassName(f), "TFrmTavimo");
  // Other windows of the program keep Qt's class.
  QWidget other;
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
  EXPECT_NE(X11WindowClassName(other), "TFrmTavimo");
}

TEST_F(MainWindowDesktopTest, ScreenshotWithItemsListed) {
  TFrmTavimo& f = Form();
  const char* urls[] = {
      "http://arcade.example.com/games/flash/racer.swf",
      "http://arcade.example.com/games/flash/intro.swf",
      "http://arcade.example.com/games/flash/menu_nav.swf",
      "http://cdn.example.net/banners/spring_sale.swf",
      "http://arcade.example.com/games/flash/soundtrack.swf",
  };
  for (const char* url : urls) f.Items->AppendItem(url, DefaultSaveAsName(url));
  f.Items->SetChecked(0, true);
  f.Items->SetChecked(2, true);
  f.Items->SelectedRow = 0;
  f.lstclass->setCurrentRow(2);
  f.edturl->setText("http://arcade.example.com/games/racer.htm");
  f.statubar->SetCaption("Finished");
  f.ApplyWindowClass();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.activateWindow();

  const QImage shot = ScreenShot(f);
  ASSERT_EQ(shot.size(), QSize(563, 472));
  // What the X server shows is the window itself: the preview frame and the highlighted row.
  EXPECT_EQ(shot.pixelColor(30, 222), QColor(0, 128, 0));
  const QRect row0 = f.Items->ListView1->visualItemRect(f.Items->ListView1->topLevelItem(0));
  const QPoint inRow = f.Items->ListView1->viewport()->mapTo(&f, QPoint(row0.right() - 3, row0.center().y()));
  EXPECT_EQ(shot.pixelColor(inRow), QColor(99, 156, 206));

  const QString out = qEnvironmentVariable("TAVIMO_BINARY_DIR", ".") + "/screenshot.png";
  EXPECT_TRUE(shot.save(out)) << out.toStdString();
}

// A real Esc from the X server, typed while the address field has the keyboard focus.
TEST_F(MainWindowDesktopTest, EscTypedInTheAddressFieldHidesAndClears) {
  TFrmTavimo& f = Form();
  f.Items->AppendItem("http://h/a.swf", "a.swf");
  f.ApplyWindowClass();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.activateWindow();
  f.edturl->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.edturl->hasFocus(); }));
  // Through XTEST, as a keyboard types it, to the window that has the input focus.
  ASSERT_EQ(std::system("xdotool key Escape"), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, 3000));
  EXPECT_EQ(f.Items->Count(), 0);
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Movie:blank.swf", "Stop"}));
}

}  // namespace
}  // namespace tavimo::test
