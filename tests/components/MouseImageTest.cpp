#include "components/MouseImage.h"

#include <gtest/gtest.h>

#include <functional>

#include "components/MouseEffectImage.h"

#include "components/MouseImageResources.h"
#include "MouseEvents.h"

namespace tavimo {
namespace {

using test::Enter;
using test::Leave;
using test::Press;
using test::Release;

QImage Pic(const char* name) { return LoadJpegResource(name); }

// The Go button as the main window sets it up: the layout's picture first, then the names.
struct GoButton {
  GoButton() : button(new TMouseImage(&parent)) {
    parent.resize(200, 100);
    button->setGeometry(10, 10, 46, 21);
    layoutPicture = QImage(46, 21, QImage::Format_RGB32);
    layoutPicture.fill(Qt::magenta);
    button->SetPicture(layoutPicture);
    button->NormalPictureName = "go0";
    button->OverPictureName = "GO1";
    button->DownPictureName = "Go2";
    button->OnClick = [this](QObject* sender) {
      EXPECT_EQ(sender, button);
      ++clicks;
    };
    parent.show();
  }
  test::PressCounter parent;
  TMouseImage* button;
  QImage layoutPicture;
  int clicks = 0;
};

TEST(MouseImage, SwapsPicturesOnEnterPressAndLeave) {
  GoButton b;
  EXPECT_EQ(b.button->Picture(), b.layoutPicture);  // until the first mouse event
  Enter(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go1"));
  Press(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go2"));
  Release(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go2"));  // a release changes nothing
  EXPECT_EQ(b.clicks, 1);
  Leave(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go0"));
  Enter(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go1"));
  EXPECT_EQ(b.parent.presses, 0);
}

TEST(MouseImage, ReleaseAwayFromTheButtonIsNoClick) {
  GoButton b;
  Enter(b.button);
  Press(b.button);
  Release(b.button, Qt::LeftButton, QPoint(80, 5));
  EXPECT_EQ(b.clicks, 0);
  Press(b.button, Qt::RightButton);
  Release(b.button, Qt::RightButton);
  EXPECT_EQ(b.clicks, 0);
  EXPECT_EQ(b.button->Picture(), Pic("go2"));  // the right button has no picture of its own
}

TEST(MouseImage, SwitchedOffIgnoresPressesAndKeepsItsPicture) {
  GoButton b;
  Enter(b.button);
  b.button->Enable = false;
  Press(b.button);
  Release(b.button);
  EXPECT_EQ(b.clicks, 0);
  EXPECT_EQ(b.parent.presses, 0);  // swallowed, not passed on
  EXPECT_EQ(b.button->Picture(), Pic("go1"));
  Leave(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go1"));
  Enter(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("go1"));

  // Switched back on: nothing changes until the next mouse event.
  Leave(b.button);
  b.button->Enable = true;
  EXPECT_EQ(b.button->Picture(), Pic("go1"));
  Press(b.button);
  Release(b.button);
  EXPECT_EQ(b.clicks, 1);
  EXPECT_EQ(b.button->Picture(), Pic("go2"));
}

TEST(MouseImage, WithoutADownPictureThePressKeepsTheHoverPicture) {
  GoButton b;
  b.button->NormalPictureName = "change0";
  b.button->OverPictureName = "change1";
  b.button->DownPictureName.clear();
  Enter(b.button);
  Press(b.button);
  EXPECT_EQ(b.button->Picture(), Pic("change1"));
  Release(b.button);
  EXPECT_EQ(b.clicks, 1);
}

TEST(MouseImage, WithoutNamesItIsAPlainPicture) {
  GoButton b;
  b.button->NormalPictureName.clear();
  b.button->OverPictureName.clear();
  b.button->DownPictureName.clear();
  Enter(b.button);
  Press(b.button);
  Release(b.button);
  Leave(b.button);
  EXPECT_EQ(b.button->Picture(), b.layoutPicture);
  EXPECT_EQ(b.clicks, 1);
}

// Reaches the handlers directly: an error must not travel through the event loop in a test.
class ProbeImage : public TMouseImage {
 public:
  using TMouseImage::enterEvent;
  using TMouseImage::mousePressEvent;
};

TEST(MouseImage, UnknownPictureNameFailsAndKeepsThePicture) {
  ProbeImage image;
  image.SetPicture(Pic("download0"));
  image.OverPictureName = "download7";
  image.DownPictureName = "nope";
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  EXPECT_THROW(image.enterEvent(&enter), EResNotFound);
  EXPECT_EQ(image.Picture(), Pic("download0"));
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  EXPECT_THROW(image.mousePressEvent(&press), EResNotFound);
  EXPECT_EQ(image.Picture(), Pic("download0"));
}

TEST(MouseImage, PicturesAreLoadedAfreshAtEverySwap) {
  GoButton b;
  Enter(b.button);
  const QImage first = b.button->Picture();
  Leave(b.button);
  Enter(b.button);
  // Same content, but a new decode rather than a cached copy.
  EXPECT_EQ(b.button->Picture(), first);
  EXPECT_NE(b.button->Picture().cacheKey(), first.cacheKey());
}

}  // namespace
}  // namespace tavimo

namespace tavimo {
namespace {

// Qt's order for a double click: press, release, double-click (in place of the second press),
// release. Every kind of picture button must see one click and one double click in it.
TEST(PictureButtons, ADoubleClickIsOneClickAndOneDoubleClick) {
  struct Kind {
    const char* name;
    std::function<TImage*(QWidget*)> make;
  };
  const Kind kinds[] = {
      {"plain picture", [](QWidget* p) { return new TImage(p); }},
      {"skin button",
       [](QWidget* p) {
         auto* b = new TMouseImage(p);
         b->DownPictureName = "Go2";
         return b;
       }},
      {"hover picture",
       [](QWidget* p) {
         auto* b = new TMouseEffectImage(p);
         b->SetDownPicture(LoadJpegResource("Go2"));
         return b;
       }},
  };
  for (const Kind& kind : kinds) {
    test::PressCounter parent;
    parent.resize(200, 100);
    TImage* image = kind.make(&parent);
    image->setGeometry(10, 10, 46, 21);
    int clicks = 0, doubles = 0;
    image->OnClick = [&](QObject*) { ++clicks; };
    image->OnDblClick = [&](QObject*) { ++doubles; };
    parent.show();
    Press(image);
    Release(image);
    test::Button(image, QEvent::MouseButtonDblClick, Qt::LeftButton);
    Release(image);
    EXPECT_EQ(clicks, 1) << kind.name;
    EXPECT_EQ(doubles, 1) << kind.name;
    EXPECT_EQ(parent.presses, 0) << kind.name;
    // A plain click afterwards still counts.
    Press(image);
    Release(image);
    EXPECT_EQ(clicks, 2) << kind.name;
  }
}

}  // namespace
}  // namespace tavimo
