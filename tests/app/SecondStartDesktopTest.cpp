// A second start nudging the running copy, with real processes of the built program under Xvfb:
// hidden, the first copy appears and scans the page in its address field; visible, it hides.
// Both whether the first copy holds F7 or another program does.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "tests/support/X11Windows.h"

namespace tavimo::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

pid_t Start() { return Spawn({ProgramPath()}, /*keepStdout=*/true); }

int Shell(const std::string& command) { return std::system(command.c_str()); }

struct Case {
  const char* name;
  bool otherHoldsF7;
  bool firstVisible;
};

class SecondStartDesktopTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    ASSERT_NE(dpy_, nullptr) << "no X display";
    server_ = std::make_unique<TestServer>(
        TestServer::Files({{"/page.htm", TestServer::Response(200, "<embed src=\"movie.swf\">")}}));
  }
  void TearDown() override {
    for (pid_t pid : started_) {
      ::kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // The first copy's main window, found by its class as other programs find it.
  Window MainWindow() {
    Window root = DefaultRootWindow(dpy_), parent = 0, *children = nullptr, found = 0;
    unsigned n = 0;
    if (!XQueryTree(dpy_, root, &root, &parent, &children, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
      XClassHint hint{};
      if (!XGetClassHint(dpy_, children[i], &hint)) continue;
      if (hint.res_class && std::strcmp(hint.res_class, "TFrmTavimo") == 0) found = children[i];
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    if (children) XFree(children);
    return found;
  }
  bool Viewable() {
    const Window w = MainWindow();
    XWindowAttributes attr{};
    return w && XGetWindowAttributes(dpy_, w, &attr) && attr.map_state == IsViewable;
  }
  size_t Scans() const {
    size_t n = 0;
    for (const auto& r : server_->Requests()) n += r.target == "/page.htm";
    return n;
  }

  TempHome home_;
  test::XDisplay display_;
  Display* dpy_ = display_.get();
  std::unique_ptr<TestServer> server_;
  std::vector<pid_t> started_;
};

TEST_P(SecondStartDesktopTest, HiddenFirstCopyAppearsAndScansVisibleOneHides) {
  const Case& c = GetParam();
  const KeyCode f7 = XKeysymToKeycode(dpy_, XK_F7);
  if (c.otherHoldsF7) {
    XGrabKey(dpy_, f7, AnyModifier, DefaultRootWindow(dpy_), False, GrabModeAsync, GrabModeAsync);
    XSync(dpy_, False);
  }
  started_.push_back(Start());
  ASSERT_TRUE(WaitFor([&] { return Viewable(); }, 15s));
  // The user types the page into the address field.
  const std::string window = std::to_string(MainWindow());
  ASSERT_EQ(Shell("xdotool windowfocus --sync " + window + " mousemove --window " + window +
                  " 150 449 click 1 type --delay 2 '" + server_->Url("/page.htm") + "'"),
            0);
  if (!c.firstVisible) {
    ASSERT_EQ(Shell("xdotool key F6"), 0);
    ASSERT_TRUE(WaitFor([&] { return !Viewable(); }, 5s));
  }

  const pid_t second = Start();
  int status = -1;
  ASSERT_EQ(waitpid(second, &status, 0), second);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  if (c.firstVisible) {
    EXPECT_TRUE(WaitFor([&] { return !Viewable(); }, 5s));
  } else {
    EXPECT_TRUE(WaitFor([&] { return Viewable() && Scans() == 1; }, 10s)) << Scans() << " scans";
  }
  // Whichever of the press and the nudge arrived second must not undo the first.
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(Viewable(), !c.firstVisible);
  EXPECT_EQ(Scans(), c.firstVisible ? 0u : 1u);

  if (c.otherHoldsF7) XUngrabKey(dpy_, f7, AnyModifier, DefaultRootWindow(dpy_));
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondStartDesktopTest,
                         ::testing::Values(Case{"FirstHoldsF7Hidden", false, false},
                                           Case{"FirstHoldsF7Visible", false, true},
                                           Case{"OtherHoldsF7Hidden", true, false},
                                           Case{"OtherHoldsF7Visible", true, true}),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tavimo::test
