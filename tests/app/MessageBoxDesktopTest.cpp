// The built program shows its boxes on the real desktop: the desktop dialogs the program entry
// hands to its window open real windows under Xvfb.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <string>

#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11Windows.h"

namespace tavimo {
namespace {

using namespace std::chrono_literals;

class MessageBoxDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(dpy_, nullptr) << "no X display"; }

  // The shown top-level windows with this title.
  std::vector<Window> Shown(const char* title) {
    std::vector<Window> found;
    for (Window w : test::ViewableTopLevels(dpy_)) {
      if (test::WindowTitle(dpy_, w) == title) found.push_back(w);
    }
    return found;
  }

  // A left click at a point of the window.
  void Click(Window w, int x, int y) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(dpy_, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
    XFlush(dpy_);
  }

  test::TempHome home_;
  test::XDisplay display_;
  Display* dpy_ = display_.get();
};

TEST_F(MessageBoxDesktopTest, TitleBarButtonsOpenRealBoxes) {
  struct Case {
    const char* name;
    int x;              // the button in the main window (the title bar starts at 136, 4)
    const char* title;  // of the box
    std::size_t count;  // windows of that title while the box is up
  };
  const Case cases[] = {
      {"about box", 136 + 311 + 10, "About Tavimo", 1},
      // Without any program to open the help page the window says where it is, in a box that
      // carries the main window's caption.
      {"help nobody opens", 136 + 332 + 10, "Tavimo V4.0", 2},
  };
  // No launcher for the help page can be found; the program is started by its full path.
  test::ScopedEnv env;
  env.Set("PATH", "/nonexistent");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const pid_t pid = test::Spawn({test::ProgramPath()});
    ASSERT_TRUE(test::WaitFor([&] { return Shown("Tavimo V4.0").size() == 1; }));
    const Window main = Shown("Tavimo V4.0")[0];
    // Clicked again while the window may still be settling, never while a box is up.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
      Click(main, c.x, 14);
      opened = test::WaitFor([&] { return Shown(c.title).size() == c.count; }, 3s);
    }
    EXPECT_TRUE(opened);
    test::KillAndReap(pid);
    ASSERT_TRUE(test::WaitFor([&] { return Shown("Tavimo V4.0").empty(); }));
  }
}

}  // namespace
}  // namespace tavimo
