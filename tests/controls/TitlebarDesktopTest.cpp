// The title bar on a real X server (Xvfb): the pointer is moved by XTEST through xdotool, and
// activation goes through X input focus, as a user's clicks and window switches would.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

#include "controls/FlatTitlebar.h"

namespace tavimo {
namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

void Xdo(const QStringList& args) {
  ASSERT_EQ(QProcess::execute("xdotool", args), 0) << args.join(' ').toStdString();
}

QStringList MoveTo(QPoint p) {
  return {"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())};
}

struct Form {
  Form() : bar(new TFlatTitlebar(&form)) {
    form.setWindowFlags(Qt::FramelessWindowHint);
    form.setGeometry(100, 120, 563, 472);
    bar->setGeometry(136, 4, 401, 20);
    bar->SetTitlebarColor(Qt::white);
    bar->SetCaption(QStringLiteral("Tavimo"));
    bar->SetActiveTextColor(QColor(48, 144, 207));
    bar->SetInactiveTextColor(QColor(162, 154, 130));
    form.show();
    EXPECT_TRUE(WaitFor([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }));
    Pump(100);
  }
  ~Form() { Xdo({"mouseup", "1"}); }

  // Drags with the left button, every motion sent before Tavimo looks at any of them, as a
  // fast hand on a busy machine does.
  void Drag(QPoint delta) {
    const QPoint start = bar->mapToGlobal(QPoint(40, 8));
    Xdo(MoveTo(start));
    Pump(50);
    Xdo({"mousedown", "1"});
    Pump(50);
    QStringList moves;
    for (int i = 1; i <= 6; ++i) moves << MoveTo(start + delta * i / 6);
    Xdo(moves);
    Xdo({"mouseup", "1"});
    Pump(200);
  }

  QWidget form;
  TFlatTitlebar* bar;
};

TEST(TitlebarOnX, FastDragDoesNotOvershoot) {
  Form f;
  const QPoint before = f.form.pos();
  f.Drag(QPoint(120, 60));
  EXPECT_TRUE(WaitFor([&] { return f.form.pos() == before + QPoint(120, 60); }))
      << f.form.pos().x() << "," << f.form.pos().y();
}

TEST(TitlebarOnX, SwitchingWindowsRepaintsInTheInactiveColour) {
  Form f;
  QWidget other;
  other.setGeometry(700, 120, 200, 100);
  other.show();
  ASSERT_TRUE(WaitFor([&] { return other.windowHandle() && other.windowHandle()->isExposed(); }));
  auto shows = [&](const QColor& c) {
    const QImage img = f.bar->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (QColor(img.pixel(x, y)) == c) return true;
    return false;
  };

  f.form.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return f.bar->IsActive(); }));
  EXPECT_TRUE(shows(QColor(48, 144, 207)));

  other.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return !f.bar->IsActive(); }));
  EXPECT_TRUE(shows(QColor(162, 154, 130)));
  EXPECT_FALSE(shows(QColor(48, 144, 207)));

  f.form.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return f.bar->IsActive(); }));
  EXPECT_TRUE(shows(QColor(48, 144, 207)));
}

}  // namespace
}  // namespace tavimo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
