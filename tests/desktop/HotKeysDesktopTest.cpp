// Hot keys and the private message against a real X server (Xvfb): keys pressed through XTEST
// from a second connection, competing grabs from that connection as another program would.
#include <QAbstractNativeEventFilter>
#include <QOpenGLWidget>
#include <QCoreApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "desktop/HotKeys.h"
#include "desktop/X11Message.h"
#include "desktop/X11WindowClass.h"
// Xlib last: its macros (None, Bool, KeyPress) clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace tavimo {
namespace {

int lastXError = 0;
int RecordXError(Display*, XErrorEvent* e) {
  lastXError = e->error_code;
  return 0;
}

// Counts every press of a keycode that reaches Qt's connection, repeats included.
class RawPresses : public QAbstractNativeEventFilter {
 public:
  explicit RawPresses(unsigned keycode) : keycode_(keycode) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~RawPresses() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
  bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    if ((e->response_type & 0x7f) == XCB_KEY_PRESS &&
        reinterpret_cast<const xcb_key_press_event_t*>(e)->detail == keycode_)
      ++count;
    return false;
  }
  int count = 0;

 private:
  unsigned keycode_;
};

class HotKeysDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr) << "no X display";
    XSetErrorHandler(RecordXError);
    keys_ = std::make_unique<HotKeys>([this](int vk) { seen_.push_back(vk); });
    // F6 is the marker: once its press arrived, everything sent before it was handled.
    ASSERT_TRUE(keys_->Register(VK_F6));
  }
  void TearDown() override {
    keys_.reset();
    if (dpy_) XCloseDisplay(dpy_);
  }

  KeyCode Code(KeySym sym) { return XKeysymToKeycode(dpy_, sym); }
  void Key(KeySym sym, bool down) {
    XTestFakeKeyEvent(dpy_, Code(sym), down, CurrentTime);
    XSync(dpy_, False);
  }
  void Tap(KeySym sym) {
    Key(sym, true);
    Key(sym, false);
  }
  // Taps the marker and waits for it; returns what arrived before it.
  std::vector<int> Settle() {
    Tap(XK_F6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !seen_.empty() && seen_.back() == VK_F6; }, 5000));
    std::vector<int> before(seen_.begin(), seen_.end() - (seen_.empty() ? 0 : 1));
    seen_.clear();
    return before;
  }
  // Whether a plain Xlib client can grab the key now, as another program would.
  bool OtherClientCanGrab(KeySym sym, unsigned modifiers = AnyModifier) {
    lastXError = 0;
    XGrabKey(dpy_, Code(sym), modifiers, DefaultRootWindow(dpy_), False, GrabModeAsync, GrabModeAsync);
    XSync(dpy_, False);
    const bool ok = lastXError == 0;
    XUngrabKey(dpy_, Code(sym), modifiers, DefaultRootWindow(dpy_));
    XSync(dpy_, False);
    return ok;
  }

  Display* dpy_ = nullptr;
  std::unique_ptr<HotKeys> keys_;
  std::vector<int> seen_;
};

TEST_F(HotKeysDesktopTest, OnePressOneMessageWhateverLockIsOnButNotWithOtherModifiers) {
  ASSERT_TRUE(keys_->Register(VK_F7));
  EXPECT_EQ(keys_->Registered(), (std::vector<int>{VK_F6, VK_F7}));
  const struct {
    const char* name;
    std::vector<KeySym> toggles;  // lock keys tapped before and after
    std::vector<KeySym> held;     // keys held around the press
    bool reaches;
  } cases[] = {
      {"plain", {}, {}, true},
      {"CapsLock on", {XK_Caps_Lock}, {}, true},
      {"NumLock on", {XK_Num_Lock}, {}, true},
      {"CapsLock and NumLock on", {XK_Caps_Lock, XK_Num_Lock}, {}, true},
      {"Shift held", {}, {XK_Shift_L}, false},
      {"Control held", {}, {XK_Control_L}, false},
      {"Shift held, NumLock on", {XK_Num_Lock}, {XK_Shift_L}, false},
  };
  for (const auto& c : cases) {
    for (KeySym t : c.toggles) Tap(t);
    for (KeySym h : c.held) Key(h, true);
    Tap(XK_F7);
    for (KeySym h : c.held) Key(h, false);
    for (KeySym t : c.toggles) Tap(t);
    EXPECT_EQ(Settle(), c.reaches ? std::vector<int>{VK_F7} : std::vector<int>{}) << c.name;
  }
}

TEST_F(HotKeysDesktopTest, HeldKeyRepeatsButActsOnce) {
  ASSERT_TRUE(keys_->Register(VK_F7));
  RawPresses raw(Code(XK_F7));
  Key(XK_F7, true);
  // The server repeats after its delay (660 ms under Xvfb); wait for repeats to arrive.
  EXPECT_TRUE(QTest::qWaitFor([&] { return raw.count >= 4; }, 5000)) << "no auto-repeat seen";
  Key(XK_F7, false);
  EXPECT_EQ(Settle(), std::vector<int>{VK_F7});
  // The next physical press is a new message.
  Tap(XK_F7);
  EXPECT_EQ(Settle(), std::vector<int>{VK_F7});
}

TEST_F(HotKeysDesktopTest, KeyHeldByAnotherClientIsNeverHalfOwned) {
  const unsigned numLock = [&] {
    // NumLock's modifier bit from the server's mapping.
    XModifierKeymap* map = XGetModifierMapping(dpy_);
    unsigned mask = 0;
    for (int mod = 0; mod < 8; ++mod)
      for (int k = 0; k < map->max_keypermod; ++k)
        if (map->modifiermap[mod * map->max_keypermod + k] == Code(XK_Num_Lock)) mask |= 1u << mod;
    XFreeModifiermap(map);
    return mask;
  }();
  ASSERT_NE(numLock, 0u);
  // The other client holds every variant, only the plain one, or only one lock variant.
  for (unsigned held : {unsigned{AnyModifier}, 0u, numLock, unsigned{LockMask}}) {
    XGrabKey(dpy_, Code(XK_F7), held, DefaultRootWindow(dpy_), False, GrabModeAsync, GrabModeAsync);
    XSync(dpy_, False);
    EXPECT_FALSE(keys_->Register(VK_F7)) << held;
    EXPECT_FALSE(keys_->IsRegistered(VK_F7)) << held;
    XUngrabKey(dpy_, Code(XK_F7), held, DefaultRootWindow(dpy_));
    XSync(dpy_, False);
    // Nothing of ours is left behind: the other client can take every variant.
    EXPECT_TRUE(OtherClientCanGrab(XK_F7)) << held;
  }
  EXPECT_TRUE(keys_->IsRegistered(VK_F6));  // the other key is untouched
  EXPECT_TRUE(Settle().empty());
}

TEST_F(HotKeysDesktopTest, RegisterHoldsTheKeyUntilUnregister) {
  EXPECT_FALSE(keys_->Register(0x41));  // not a function key
  EXPECT_TRUE(OtherClientCanGrab(XK_F7));
  ASSERT_TRUE(keys_->Register(VK_F7));
  EXPECT_TRUE(keys_->Register(VK_F7));  // again: still ours
  EXPECT_FALSE(OtherClientCanGrab(XK_F7));
  EXPECT_FALSE(OtherClientCanGrab(XK_F7, 0));
  keys_->Unregister(VK_F7);
  EXPECT_FALSE(keys_->IsRegistered(VK_F7));
  EXPECT_TRUE(OtherClientCanGrab(XK_F7));
  Tap(XK_F7);
  EXPECT_TRUE(Settle().empty());
  // Destroying the object gives back what it holds.
  keys_.reset();
  EXPECT_TRUE(OtherClientCanGrab(XK_F6));
}

TEST(X11MessageDesktopTest, ReachesTheWindowOfTheClassAloneHiddenShownOrRecreated) {
  struct Received {
    long message;
    MessageSender from;
  };
  QWidget main, other;
  std::vector<Received> mainGot, otherGot;
  X11Message mainReceiver(main, "tavimo", "TTestMain", [&](long m, MessageSender f) {
    mainGot.push_back({m, f});
  });
  X11Message otherReceiver(other, "tavimo", "TTestOther", [&](long m, MessageSender f) {
    otherGot.push_back({m, f});
  });
  ASSERT_TRUE(mainReceiver.Listening());
  EXPECT_EQ(SendX11Message("TTestMain", kPrivateMessage, MessageSender::OtherProgram), 0);  // no window yet
  // Created but hidden, as a copy started with "-mini": the class is there and the message too.
  main.winId();
  other.winId();
  EXPECT_EQ(X11WindowClassName(main), "TTestMain");
  EXPECT_EQ(SendX11Message("TTestNobody", kPrivateMessage, MessageSender::OtherProgram), 0);
  EXPECT_EQ(SendX11Message("TTestMain", kPrivateMessage, MessageSender::SecondStart), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !mainGot.empty(); }, 5000));
  EXPECT_EQ(mainGot[0].message, kPrivateMessage);
  EXPECT_EQ(mainGot[0].from, MessageSender::SecondStart);

  // New X windows for the same widget: a flag change (topmost), and the first OpenGL view inside
  // it (as the preview's web view does). Each must stay findable.
  const std::function<void()> recreations[] = {
      [&] { main.setWindowFlag(Qt::WindowStaysOnTopHint, true); },
      [&] { (new QOpenGLWidget(&main))->show(); },
  };
  for (const auto& recreate : recreations) {
    const WId before = main.windowHandle() ? main.windowHandle()->winId() : 0;
    recreate();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    EXPECT_NE(main.windowHandle()->winId(), before) << "not recreated";
    EXPECT_EQ(X11WindowClassName(main), "TTestMain");
    const size_t had = mainGot.size();
    EXPECT_EQ(SendX11Message("TTestMain", 0x465, MessageSender::OtherProgram), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mainGot.size() == had + 1; }, 5000));
    EXPECT_EQ(mainGot.back().message, 0x465);
    EXPECT_EQ(mainGot.back().from, MessageSender::OtherProgram);
  }
  EXPECT_TRUE(otherGot.empty());
}

}  // namespace
}  // namespace tavimo
