#include "components/MouseEffectImage.h"

#include <gtest/gtest.h>

#include "MouseEvents.h"

namespace tavimo {
namespace {

using test::Enter;
using test::Leave;
using test::Press;
using test::Release;

QImage Solid(QColor c, QSize size = {90, 24}) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

// The options picture of the main window.
struct Options {
  Options() : image(new TMouseEffectImage(&parent)) {
    image->move(52, 378);
    image->SetOverPicture(over);
    image->SetDownPicture(down);
    image->SetOriginPicture(origin);
    image->OnClick = [this](QObject*) { ++clicks; };
    parent.resize(563, 472);
    parent.show();
  }
  QWidget parent;
  TMouseEffectImage* image;
  QImage origin = Solid(Qt::red), over = Solid(Qt::green), down = Solid(Qt::blue);
  int clicks = 0;
};

TEST(MouseEffectImage, OriginShowsAtOnceAndSizesTheControl) {
  TMouseEffectImage image;
  image.SetOverPicture(Solid(Qt::green));
  EXPECT_TRUE(image.Picture().isNull());  // setting the over picture shows nothing
  image.SetOriginPicture(Solid(Qt::red, {90, 24}));
  EXPECT_EQ(image.Picture(), Solid(Qt::red, {90, 24}));
  EXPECT_EQ(image.size(), QSize(90, 24));
}

TEST(MouseEffectImage, OriginReturnsRightAfterAClick) {
  Options o;
  Enter(o.image);
  EXPECT_EQ(o.image->Picture(), o.over);
  Press(o.image);
  EXPECT_EQ(o.image->Picture(), o.down);
  Release(o.image);
  EXPECT_EQ(o.clicks, 1);
  EXPECT_EQ(o.image->Picture(), o.origin);  // although the mouse is still over it
  Leave(o.image);
  EXPECT_EQ(o.image->Picture(), o.origin);
}

TEST(MouseEffectImage, RevertOnLeaveKeepsThePressedPictureUntilTheMouseLeaves) {
  Options o;
  o.image->RevertOnLeave = true;
  Enter(o.image);
  Press(o.image);
  Release(o.image);
  EXPECT_EQ(o.clicks, 1);
  EXPECT_EQ(o.image->Picture(), o.down);
  Leave(o.image);
  EXPECT_EQ(o.image->Picture(), o.origin);
}

TEST(MouseEffectImage, AnEmptyStatePictureShowsNothing) {
  Options o;
  o.image->SetOverPicture(QImage());
  Enter(o.image);
  EXPECT_TRUE(o.image->Picture().isNull());
  EXPECT_EQ(o.image->size(), QSize(90, 24));
  Leave(o.image);
  EXPECT_EQ(o.image->Picture(), o.origin);
}

}  // namespace
}  // namespace tavimo
