#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "controls/FlatCheckBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatHintWindow.h"

namespace tavimo {
namespace {

void Click(QWidget* w, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

int Count(const QImage& img, const QColor& c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += QColor(img.pixel(x, y)) == c;
  return n;
}

TEST(FlatCheckBox, ClickOnTheTextTogglesAndTheTickUsesTheCheckColour) {
  TFlatCheckBox box(QStringLiteral("Always on Top"));
  box.resize(box.sizeHint());
  box.SetColorCheck(QColor(200, 0, 0));
  box.SetColorBorder(QColor(0, 0, 200));
  EXPECT_EQ(Count(box.grab().toImage(), QColor(200, 0, 0)), 0);
  EXPECT_GT(Count(box.grab().toImage(), QColor(0, 0, 200)), 40);  // the square's border
  Click(&box, QPoint(box.width() - 4, box.height() / 2));
  EXPECT_TRUE(box.isChecked());
  EXPECT_GT(Count(box.grab().toImage(), QColor(200, 0, 0)), 0);
  Click(&box, QPoint(5, box.height() / 2));
  EXPECT_FALSE(box.isChecked());
}

TEST(FlatEdit, BorderInTheBorderColourAroundTheFlatFace) {
  TFlatEdit edit;
  edit.resize(105, 18);
  edit.SetColorBorder(QColor(0, 0, 200));
  edit.SetColorFlat(QColor(255, 255, 240));
  const QImage img = edit.grab().toImage();
  EXPECT_EQ(QColor(img.pixel(0, 0)), QColor(0, 0, 200));
  EXPECT_EQ(QColor(img.pixel(104, 17)), QColor(0, 0, 200));
  EXPECT_EQ(QColor(img.pixel(50, 9)), QColor(255, 255, 240));
}

TEST(FlatHintWindow, ShowsTheHintOfTheWidgetUnderThePointer) {
  TFlatHintWindow* hint = TFlatHintWindow::Install();
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(TFlatHintWindow::Install(), hint);
  EXPECT_EQ(hint->ArrowBackgroundColor(), QColor(99, 156, 206));

  QWidget window;
  window.resize(200, 100);
  auto* list = new QWidget(&window);
  list->setGeometry(10, 10, 50, 50);
  list->setToolTip(QStringLiteral("Rightclick to add/remove a category."));
  auto* plain = new QWidget(&window);
  plain->setGeometry(100, 10, 50, 50);
  window.show();

  QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list, &ask);
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->HintText(), QStringLiteral("Rightclick to add/remove a category."));
  EXPECT_GT(hint->width(), 100);
  // The arrow band is painted in its colour.
  EXPECT_EQ(QColor(hint->grab().toImage().pixel(2, hint->height() - 3)), QColor(99, 156, 206));

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(list, &leave);
  EXPECT_FALSE(hint->isVisible());

  QHelpEvent none(QEvent::ToolTip, QPoint(5, 5), plain->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(plain, &none);
  EXPECT_FALSE(hint->isVisible());
}

}  // namespace
}  // namespace tavimo
