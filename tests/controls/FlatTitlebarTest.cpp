#include "controls/FlatTitlebar.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "controls/Image.h"

namespace tavimo {
namespace {

// The main window's arrangement: a borderless window with the strip at 136, 4.
struct Form {
  Form() : bar(new TFlatTitlebar(&form)) {
    form.setWindowFlags(Qt::FramelessWindowHint);
    form.setGeometry(200, 150, 563, 472);
    bar->setGeometry(136, 4, 401, 20);
    form.show();
  }

  void Send(QWidget* to, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(local), QPointF(to->mapToGlobal(local)), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
  }
  // Presses at a point of `to`, moves the pointer by `delta` in `steps` and releases there.
  void Drag(QWidget* to, QPoint start, QPoint delta, Qt::MouseButton button, int steps = 3) {
    const QPoint global = to->mapToGlobal(start);
    Send(to, QEvent::MouseButtonPress, start, button, button);
    for (int i = 1; i <= steps; ++i) {
      // The pointer keeps moving on the screen; the widget sees it relative to where it is now.
      const QPoint at = to->mapFromGlobal(global + delta * i / steps);
      Send(to, QEvent::MouseMove, at, Qt::NoButton, button);
    }
    Send(to, QEvent::MouseButtonRelease, to->mapFromGlobal(global + delta), button, Qt::NoButton);
  }

  QWidget form;
  TFlatTitlebar* bar;
};

TEST(FlatTitlebar, LeftDragMovesTheWindowByTheSameAmount) {
  Form f;
  const QPoint before = f.form.pos();
  f.Drag(f.bar, QPoint(40, 8), QPoint(30, 10), Qt::LeftButton);
  EXPECT_EQ(f.form.pos(), before + QPoint(30, 10));
  EXPECT_FALSE(f.bar->IsDragging());

  // After the release, moving the pointer no longer moves the window.
  f.Send(f.bar, QEvent::MouseMove, QPoint(90, 9), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(f.form.pos(), before + QPoint(30, 10));
}

TEST(FlatTitlebar, RightDragDoesNotMoveTheWindow) {
  Form f;
  const QPoint before = f.form.pos();
  f.Drag(f.bar, QPoint(40, 8), QPoint(30, 10), Qt::RightButton);
  EXPECT_EQ(f.form.pos(), before);
  EXPECT_FALSE(f.bar->IsDragging());
}

TEST(FlatTitlebar, PressOnAButtonInsideTheStripDoesNotMoveTheWindow) {
  Form f;
  auto* button = new TImage(f.bar);
  button->setGeometry(311, 0, 21, 21);
  int clicks = 0;
  button->OnClick = [&](QObject*) { ++clicks; };
  const QPoint before = f.form.pos();
  f.Drag(button, QPoint(10, 10), QPoint(30, 10), Qt::LeftButton);
  EXPECT_EQ(f.form.pos(), before);
  EXPECT_EQ(clicks, 0);  // released away from the button
  EXPECT_FALSE(f.bar->IsDragging());
}

TEST(FlatTitlebar, FollowsTheWindowsActivation) {
  Form f;
  f.bar->SetCaption(QStringLiteral("Tavimo"));
  f.bar->SetTitlebarColor(Qt::white);
  f.bar->SetActiveTextColor(QColor(48, 144, 207));
  f.bar->SetInactiveTextColor(QColor(162, 154, 130));
  std::vector<std::string> events;
  f.bar->OnActivate = [&](QObject* sender) { events.push_back(sender == f.bar ? "on" : "?"); };
  f.bar->OnDeactivate = [&](QObject* sender) { events.push_back(sender == f.bar ? "off" : "?"); };
  auto has = [&](const QColor& c) {
    const QImage img = f.bar->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (QColor(img.pixel(x, y)) == c) return true;
    return false;
  };

  // Whatever the platform did on show, the colour follows the last activation message.
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(&f.form, &deactivate);
  EXPECT_FALSE(f.bar->IsActive());
  EXPECT_TRUE(has(QColor(162, 154, 130)));
  EXPECT_FALSE(has(QColor(48, 144, 207)));

  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&f.form, &activate);
  EXPECT_TRUE(f.bar->IsActive());
  EXPECT_TRUE(has(QColor(48, 144, 207)));
  EXPECT_FALSE(has(QColor(162, 154, 130)));
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "off");
  EXPECT_EQ(events.back(), "on");
}

TEST(FlatTitlebar, OnlyAWindowCanHoldIt) {
  QWidget form;
  auto* inner = new QWidget(&form);
  try {
    TFlatTitlebar bar(inner);
    FAIL() << "placed on a child widget";
  } catch (const EFlatTitlebarError& e) {
    EXPECT_STREQ(e.what(), "TFlatTitlebar can only be placed on a descndant of a TCustomForm");
  }
  EXPECT_TRUE(inner->children().isEmpty());
  EXPECT_THROW(TFlatTitlebar(nullptr), EFlatTitlebarError);
}

}  // namespace
}  // namespace tavimo
