#include "controls/FlatGauge.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace tavimo {
namespace {

const QColor kBack(255, 255, 255);
const QColor kBar(51, 102, 153);
const QColor kBorder(160, 150, 131);
const QColor kInk(0, 0, 0);

// A gauge with an inner width of 200 pixels and distinct colours.
struct Gauge {
  Gauge() {
    g.resize(204, 24);
    g.SetColor(kBack);
    g.SetBarColor(kBar);
    g.SetColorBorder(kBorder);
    QPalette pal = g.palette();
    pal.setColor(QPalette::WindowText, kInk);
    g.setPalette(pal);
  }
  QImage Grab() { return g.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  TFlatGauge g;
};

// Bar pixels on the inner rectangle's top row, which the text never reaches.
int BarPixels(const QImage& img) {
  int n = 0;
  for (int x = 0; x < img.width(); ++x) n += QColor(img.pixel(x, 2)) == kBar;
  return n;
}

// Pixels that are neither background nor bar: the drawn text, wherever it shows.
QImage InkMask(const QImage& img) {
  QImage mask(img.size(), QImage::Format_Grayscale8);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QColor c(img.pixel(x, y));
      mask.setPixel(x, y, c == kBack || c == kBar ? 0 : 0xFFFFFF);
    }
  return mask;
}

// The same text drawn alone, centred in the same inner rectangle.
QImage ExpectedInk(const TFlatGauge& g, const QString& text) {
  QImage img(g.size(), QImage::Format_RGB32);
  img.fill(kBack);
  {
    QPainter p(&img);
    p.setFont(g.font());
    p.setPen(kInk);
    p.drawText(g.rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextSingleLine, text);
  }
  return InkMask(img);
}

// Ink outside the frame, compared pixel by pixel.
int MaskDifference(const QImage& a, const QImage& b) {
  int diff = 0;
  for (int y = 1; y < a.height() - 1; ++y)
    for (int x = 1; x < a.width() - 1; ++x) diff += a.pixel(x, y) != b.pixel(x, y);
  return diff;
}

TEST(FlatGauge, ProgressIsClampedToTheRange) {
  TFlatGauge g;
  g.SetProgress(150);
  EXPECT_EQ(g.Progress(), 100);
  g.SetProgress(-5);
  EXPECT_EQ(g.Progress(), 0);
  g.SetProgress(42);
  EXPECT_EQ(g.Progress(), 42);
}

TEST(FlatGauge, RangeChangesPullProgressAlong) {
  TFlatGauge g;
  g.SetProgress(30);
  g.SetMinValue(40);  // raises the progress to the new minimum
  EXPECT_EQ(g.MinValue(), 40);
  EXPECT_EQ(g.Progress(), 40);
  g.SetMaxValue(20);  // below the minimum: stored as the minimum
  EXPECT_EQ(g.MaxValue(), 40);
  EXPECT_EQ(g.Progress(), 40);
  g.SetMaxValue(90);
  g.SetProgress(80);
  g.SetMaxValue(60);  // lowers the progress to the new maximum
  EXPECT_EQ(g.Progress(), 60);
  g.SetMinValue(500);  // above the maximum: stored as the maximum
  EXPECT_EQ(g.MinValue(), 60);
  EXPECT_EQ(g.Progress(), 60);
}

TEST(FlatGauge, EmptyAtZero) {
  Gauge t;
  t.g.SetProgress(0);
  const QImage img = t.Grab();
  EXPECT_EQ(BarPixels(img), 0);
  EXPECT_EQ(t.g.PercentText(), "0 %");
  EXPECT_LE(MaskDifference(InkMask(img), ExpectedInk(t.g, "0 %")), 2);
  // Frame in the border colour on all four sides.
  EXPECT_EQ(QColor(img.pixel(0, 0)), kBorder);
  EXPECT_EQ(QColor(img.pixel(203, 12)), kBorder);
  EXPECT_EQ(QColor(img.pixel(100, 23)), kBorder);
  EXPECT_EQ(QColor(img.pixel(1, 12)), kBack);  // the gap between frame and inner rectangle
}

TEST(FlatGauge, HalfBarAndInvertedTextAtFifty) {
  Gauge t;
  t.g.SetProgress(50);
  const QImage img = t.Grab();
  EXPECT_EQ(BarPixels(img), 100);
  for (int x = 2; x < 102; ++x) ASSERT_EQ(QColor(img.pixel(x, 2)), kBar) << x;
  EXPECT_EQ(QColor(img.pixel(102, 2)), kBack);
  EXPECT_EQ(t.g.PercentText(), "50 %");
  EXPECT_LE(MaskDifference(InkMask(img), ExpectedInk(t.g, "50 %")), 2);
  // Over the bar the text shows in the background colour, beside it in the font colour.
  // Text is antialiased, so pixels are judged by lightness against the bar's.
  const int barLight = kBar.lightness();
  int lightOnBar = 0, darkOnBar = 0, darkBeside = 0;
  for (int y = 2; y < 22; ++y)
    for (int x = 2; x < 202; ++x) {
      const int l = QColor(img.pixel(x, y)).lightness();
      if (x < 102) {
        lightOnBar += l > barLight + 80;
        darkOnBar += l < barLight - 20;
      } else {
        darkBeside += l < 100;
      }
    }
  EXPECT_GT(lightOnBar, 3);
  EXPECT_EQ(darkOnBar, 0);
  EXPECT_GT(darkBeside, 3);
}

TEST(FlatGauge, FullBarAtHundred) {
  Gauge t;
  t.g.SetProgress(100);
  const QImage img = t.Grab();
  EXPECT_EQ(BarPixels(img), 200);
  EXPECT_EQ(t.g.PercentText(), "100 %");
  EXPECT_LE(MaskDifference(InkMask(img), ExpectedInk(t.g, "100 %")), 2);
  int dark = 0;
  for (int y = 2; y < 22; ++y)
    for (int x = 2; x < 202; ++x) dark += QColor(img.pixel(x, y)).lightness() < kBar.lightness() - 20;
  EXPECT_EQ(dark, 0);  // the whole text lies over the bar, in the background colour
}

TEST(FlatGauge, RangeNotStartingAtZeroStaysInsideTheGauge) {
  Gauge t;
  t.g.SetMaxValue(300);
  t.g.SetMinValue(100);
  t.g.SetProgress(300);
  EXPECT_EQ(t.g.BarWidth(), 200);
  EXPECT_EQ(t.g.PercentText(), "100 %");
  t.g.SetProgress(150);
  EXPECT_EQ(BarPixels(t.Grab()), 50);
  EXPECT_EQ(t.g.PercentText(), "25 %");
}

TEST(FlatGauge, TruncatesTowardsZeroAndDrawsNothingWithoutARange) {
  Gauge t;
  t.g.SetMaxValue(3);
  t.g.SetProgress(2);  // 200 / 3 * 2 = 133.3, 66.6 %
  EXPECT_EQ(t.g.BarWidth(), 133);
  EXPECT_EQ(t.g.PercentText(), "66 %");
  t.g.SetMaxValue(0);
  EXPECT_EQ(t.g.BarWidth(), 0);
  EXPECT_EQ(t.g.PercentText(), "0 %");
  EXPECT_EQ(BarPixels(t.Grab()), 0);
}

TEST(FlatGauge, RightToLeftGrowsFromTheRight) {
  Gauge t;
  t.g.setLayoutDirection(Qt::RightToLeft);
  t.g.SetProgress(25);
  const QImage img = t.Grab();
  EXPECT_EQ(BarPixels(img), 50);
  EXPECT_EQ(QColor(img.pixel(201, 2)), kBar);
  EXPECT_EQ(QColor(img.pixel(2, 2)), kBack);
}

}  // namespace
}  // namespace tavimo
