// F7 and F6 as a user presses them: the real main window under Xvfb holds the keys, the
// presses come through XTEST from another connection, the page from a server on 127.0.0.1.
#include <QApplication>

#include "controls/FlatEdit.h"
#include "app/ItemList.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"
// Xlib last: its macros (None, Bool, KeyPress) clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tavimo::test {
namespace {

class HotKeysDesktopTest : public FormTest {
 protected:
  void SetUp() override {
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr) << "no X display";
    server_ = std::make_unique<TestServer>(
        TestServer::Files({{"/page.htm", TestServer::Response(200, "<embed src=\"movie.swf\">")}}));
  }
  void TearDown() override {
    form.reset();
    if (dpy_) XCloseDisplay(dpy_);
  }

  TFrmTavimo& Window() {
    TFrmTavimo& f = Form();
    f.ApplyWindowClass();
    f.edturl->setText(QString::fromStdString(server_->Url("/page.htm")));
    f.Items->AppendItem("http://old/old.swf", "old.swf");
    return f;
  }
  void Key(KeySym sym, bool down) {
    XTestFakeKeyEvent(dpy_, XKeysymToKeycode(dpy_, sym), down, CurrentTime);
    XSync(dpy_, False);
  }
  void Tap(KeySym sym) {
    Key(sym, true);
    Key(sym, false);
  }
  bool WaitVisible(bool visible) {
    return QTest::qWaitFor([&] { return form->isVisible() == visible; }, 5000);
  }
  std::string List() const {
    if (form->Items->Count() == 0) return "empty";
    return form->Items->Url(0) == "http://old/old.swf" ? "old" : form->Items->Url(0);
  }
  size_t Scans() const {
    size_t n = 0;
    for (const auto& r : server_->Requests()) n += r.target == "/page.htm";
    return n;
  }

  Display* dpy_ = nullptr;
  std::unique_ptr<TestServer> server_;
};

TEST_F(HotKeysDesktopTest, F7ScansOrHidesAndF6TogglesWithoutClearing) {
  TFrmTavimo& f = Window();
  EXPECT_EQ(f.ActiveHotKeys(), (std::vector<int>{0x75, 0x76}));
  const std::string movie = server_->Url("/movie.swf");
  const struct {
    KeySym key;
    bool visible;
    std::string list;
    size_t scans;
  } steps[] = {
      {XK_F6, true, "old", 0},                               // hidden: show as left
      {XK_F6, false, "old", 0},                              // visible: hide, keep
      {XK_F7, true, movie, 1},                               // hidden: show and scan
      {XK_F6, false, movie, 1},                              // keeps the scan's list
      {XK_F6, true, movie, 1},  {XK_F7, false, "empty", 1},  // visible (and focused): hide and clear
      {XK_F7, true, movie, 2},
  };
  for (const auto& s : steps) {
    Tap(s.key);
    ASSERT_TRUE(WaitVisible(s.visible)) << &s - steps;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Scans() == s.scans && List() == s.list; }, 5000))
        << &s - steps << ": " << List() << ", " << Scans() << " scans";
  }
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(HotKeysDesktopTest, F7HeldDownActsOnce) {
  Window();
  Key(XK_F7, true);
  ASSERT_TRUE(WaitVisible(true));
  // Held past the server's repeat delay, as a user leaning on the key.
  QTest::qWait(1000);
  Key(XK_F7, false);
  // F6 is handled after every repeat that came before it.
  Tap(XK_F6);
  ASSERT_TRUE(WaitVisible(false));
  EXPECT_EQ(Scans(), 1u);
  EXPECT_EQ(List(), server_->Url("/movie.swf"));
}

TEST_F(HotKeysDesktopTest, F7HeldByAnotherProgramIsNotReportedAndF6StillWorks) {
  const KeyCode f7 = XKeysymToKeycode(dpy_, XK_F7);
  XGrabKey(dpy_, f7, AnyModifier, DefaultRootWindow(dpy_), False, GrabModeAsync, GrabModeAsync);
  XSync(dpy_, False);
  TFrmTavimo& f = Window();
  EXPECT_TRUE(f.HotKeysRegistered());
  EXPECT_FALSE(f.HotKeyActive(0x76));
  EXPECT_EQ(f.ActiveHotKeys(), std::vector<int>{0x75});
  EXPECT_TRUE(dialogs.Messages.empty());
  Tap(XK_F7);  // goes to the other program
  Tap(XK_F6);
  ASSERT_TRUE(WaitVisible(true));
  EXPECT_EQ(List(), "old");
  EXPECT_EQ(Scans(), 0u);
  XUngrabKey(dpy_, f7, AnyModifier, DefaultRootWindow(dpy_));
  XSync(dpy_, False);
}

}  // namespace
}  // namespace tavimo::test
