#include <QBuffer>
#include <QPainter>
#include <gtest/gtest.h>

#include "components/MouseImageResources.h"
#include "desktop/JpegImage.h"

namespace tavimo {
namespace {

TEST(JpegImage, RoundTripKeepsTheColours) {
  QImage src(40, 20, QImage::Format_RGB32);
  src.fill(QColor(99, 156, 206));
  {
    QPainter p(&src);
    p.fillRect(0, 0, 20, 20, QColor(51, 102, 153));
  }
  const QImage back = DecodeJpeg(EncodeJpeg(src, 95));
  ASSERT_EQ(back.size(), src.size());
  for (const QPoint at : {QPoint(5, 5), QPoint(35, 15)}) {
    const QColor a(src.pixel(at)), b(back.pixel(at));
    EXPECT_LE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()),
              6);
  }
}

TEST(JpegImage, GreyscaleFilesDecodeToRgb) {
  // Qt's own writer makes a greyscale (1 component) file; libjpeg must expand it to RGB.
  QImage grey(16, 8, QImage::Format_Grayscale8);
  grey.fill(128);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!grey.save(&buffer, "JPEG")) GTEST_SKIP() << "no Qt JPEG writer to make the sample";
  const QImage back = DecodeJpeg(bytes);
  EXPECT_EQ(back.size(), QSize(16, 8));
  EXPECT_NEAR(qRed(back.pixel(3, 3)), 128, 3);
  EXPECT_EQ(qRed(back.pixel(3, 3)), qBlue(back.pixel(3, 3)));
}

TEST(JpegImage, BrokenDataIsAnErrorNotACrash) {
  EXPECT_THROW(DecodeJpeg(QByteArray()), EJpegError);
  EXPECT_THROW(DecodeJpeg(QByteArray("not a jpeg at all")), EJpegError);
  QByteArray cut = EncodeJpeg(QImage(8, 8, QImage::Format_RGB32), 90);
  cut.truncate(20);  // inside the headers
  EXPECT_THROW(DecodeJpeg(cut), EJpegError);
}

TEST(SkinResources, EveryButtonPictureIsThereByAnyCase) {
  const QStringList names = {"CHANGE", "CLOSE", "DOWNLOAD", "GO", "INFO", "MINI", "QUESTION"};
  QStringList expected;
  for (const QString& n : names)
    for (int i = 0; i < 3; ++i) expected << n + QString::number(i);
  expected.sort();
  EXPECT_EQ(JpegResourceNames(), expected);
  EXPECT_EQ(LoadJpegResource("download0").size(), QSize(109, 28));
  EXPECT_EQ(LoadJpegResource("Download1"), LoadJpegResource("DOWNLOAD1"));
  EXPECT_EQ(LoadJpegResource("go2").size(), QSize(46, 21));
  EXPECT_EQ(LoadJpegResource("change1").size(), QSize(69, 21));
  for (const char* n : {"info0", "question1", "mini2", "close0"})
    EXPECT_EQ(LoadJpegResource(n).size(), QSize(21, 21)) << n;
}

TEST(SkinResources, ButtonStatesLookDifferent) {
  for (const char* n : {"download", "go", "change", "info", "question", "mini", "close"}) {
    const QImage normal = LoadJpegResource(QString(n) + "0");
    EXPECT_NE(normal, LoadJpegResource(QString(n) + "1")) << n;
    EXPECT_NE(normal, LoadJpegResource(QString(n) + "2")) << n;
  }
}

TEST(SkinResources, UnknownNamesRaiseResourceNotFound) {
  EXPECT_FALSE(HasJpegResource("download9"));
  try {
    LoadJpegResource("download9");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_STREQ(e.what(), "Resource DOWNLOAD9 not found");
  }
  EXPECT_THROW(LoadJpegResource(""), EResNotFound);
  EXPECT_THROW(LoadLayoutPicture("nothing"), EResNotFound);
}

TEST(SkinResources, LayoutPicturesHaveTheirPlacesSizes) {
  const struct {
    const char* name;
    QSize size;
  } pictures[] = {
      {"backimg", {563, 472}},
      {"about", {200, 300}},
      {"Image1", {202, 22}},
      {"imgpreviewy", {20, 22}},
      {"imgpreviewn", {20, 22}},
      {"imgautoclosey", {20, 22}},
      {"imgautoclosen", {20, 22}},
      {"butRefresh", {23, 23}},
      {"MouseEffectImage1", {90, 24}},
      {"MouseEffectImage1_over", {90, 24}},
      {"MouseEffectImage1_down", {90, 24}},
  };
  for (const auto& pic : pictures) EXPECT_EQ(LoadLayoutPicture(pic.name).size(), pic.size) << pic.name;
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(LoadLayoutPicture(QString("menu%1").arg(i)).size(), QSize(16, 16)) << i;
  EXPECT_FALSE(LoadLayoutPicture("trayicon").isNull());
}

}  // namespace
}  // namespace tavimo
