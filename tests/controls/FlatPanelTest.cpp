#include "controls/FlatPanel.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace tavimo {
namespace {

const QColor kHigh(255, 0, 0);
const QColor kShadow(0, 0, 255);
const QColor kFace(0, 160, 0);
const QColor kText(0, 0, 0);

struct Panel {
  Panel() {
    p.resize(120, 30);
    p.SetColorHighLight(kHigh);
    p.SetColorShadow(kShadow);
    p.SetColor(kFace);
    QPalette pal = p.palette();
    pal.setColor(QPalette::WindowText, kText);
    pal.setColor(QPalette::Light, QColor(250, 250, 250));
    pal.setColor(QPalette::Dark, QColor(110, 110, 110));
    p.setPalette(pal);
  }
  QImage Grab() { return p.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  TFlatPanel p;
};

// Bounding box of the pixels that differ from the face colour inside the frame.
QRect InkBox(const QImage& img) {
  QRect box;
  for (int y = 1; y < img.height() - 1; ++y)
    for (int x = 1; x < img.width() - 1; ++x)
      if (QColor(img.pixel(x, y)) != kFace) box |= QRect(x, y, 1, 1);
  return box;
}

int Count(const QImage& img, const QColor& c) {
  int n = 0;
  for (int y = 1; y < img.height() - 1; ++y)
    for (int x = 1; x < img.width() - 1; ++x) n += QColor(img.pixel(x, y)) == c;
  return n;
}

TEST(FlatPanel, FrameIsHighlightTopLeftAndShadowBottomRight) {
  Panel t;
  const QImage img = t.Grab();
  for (int x = 0; x < 119; ++x) ASSERT_EQ(QColor(img.pixel(x, 0)), kHigh) << x;
  for (int y = 0; y < 29; ++y) ASSERT_EQ(QColor(img.pixel(0, y)), kHigh) << y;
  for (int x = 0; x < 120; ++x) ASSERT_EQ(QColor(img.pixel(x, 29)), kShadow) << x;
  for (int y = 0; y < 30; ++y) ASSERT_EQ(QColor(img.pixel(119, y)), kShadow) << y;
  EXPECT_EQ(QColor(img.pixel(1, 1)), kFace);
  EXPECT_EQ(QColor(img.pixel(118, 28)), kFace);
}

TEST(FlatPanel, StartsWithTheFlatFrameColourAndTheParentsFace) {
  QWidget parent;
  QPalette pal = parent.palette();
  pal.setColor(QPalette::Window, QColor(236, 233, 216));
  parent.setPalette(pal);
  auto* panel = new TFlatPanel(&parent);
  // 8623776 as stored: red 160, green 150, blue 131.
  EXPECT_EQ(panel->ColorHighLight(), QColor(160, 150, 131));
  EXPECT_EQ(panel->ColorShadow(), QColor(160, 150, 131));
  const QImage img = panel->grab().toImage();
  EXPECT_EQ(QColor(img.pixel(5, 5)), QColor(236, 233, 216));
}

TEST(FlatPanel, CaptionIsCentredAndFollowsTheAlignment) {
  Panel t;
  t.p.SetCaption(QStringLiteral("i d l e"));
  QRect box = InkBox(t.Grab());
  ASSERT_FALSE(box.isEmpty());
  const int left = box.left(), right = 119 - box.right() - 1;
  EXPECT_LE(std::abs(left - right), 2) << left << " " << right;
  const int top = box.top(), bottom = 29 - box.bottom() - 1;
  EXPECT_LE(std::abs(top - bottom), 4) << top << " " << bottom;

  t.p.SetAlignment(TAlignment::taLeftJustify);
  box = InkBox(t.Grab());
  EXPECT_LE(box.left(), 3);
  t.p.SetAlignment(TAlignment::taRightJustify);
  box = InkBox(t.Grab());
  EXPECT_GE(box.right(), 115);
}

TEST(FlatPanel, DisabledCaptionIsEngraved) {
  Panel t;
  t.p.SetCaption(QStringLiteral("Finished"));
  const QImage enabled = t.Grab();
  EXPECT_GT(Count(enabled, kText), 0);
  EXPECT_EQ(Count(enabled, QColor(250, 250, 250)), 0);

  t.p.setEnabled(false);
  const QImage disabled = t.Grab();
  EXPECT_EQ(Count(disabled, kText), 0);
  EXPECT_GT(Count(disabled, QColor(250, 250, 250)), 0);  // the light copy, down and right
  EXPECT_GT(Count(disabled, QColor(110, 110, 110)), 0);
  const QRect on = InkBox(enabled), off = InkBox(disabled);
  EXPECT_EQ(off.topLeft(), on.topLeft());
  EXPECT_EQ(off.bottomRight(), on.bottomRight() + QPoint(1, 1));
}

TEST(FlatPanel, TransparentPanelLeavesItsFaceClear) {
  Panel t;
  t.p.SetTransparent(true);
  const QImage img = t.p.Render();
  EXPECT_EQ(qAlpha(img.pixel(10, 10)), 0);
  EXPECT_EQ(QColor(img.pixel(0, 0)), kHigh);
}

// A status longer than the panel can still be read whole: it is the tooltip while it is cut,
// and the tooltip goes when the text fits again (after a shorter text or a wider panel).
TEST(FlatPanel, CaptionCutShortIsTheToolTip) {
  Panel t;
  t.p.show();  // a hidden widget hears of its new size only when shown
  const QString text = QStringLiteral("Download failed: White.swf: 404 Not Found; Black.swf: 503");
  t.p.SetCaption(text);
  ASSERT_TRUE(t.p.CaptionCut());
  EXPECT_EQ(t.p.toolTip(), text);
  t.p.resize(t.p.fontMetrics().horizontalAdvance(text) + 10, 30);
  EXPECT_TRUE(t.p.toolTip().isEmpty());
  t.p.resize(120, 30);
  EXPECT_EQ(t.p.toolTip(), text);
  t.p.SetCaption(QStringLiteral("Done"));
  EXPECT_TRUE(t.p.toolTip().isEmpty());
}

}  // namespace
}  // namespace tavimo
