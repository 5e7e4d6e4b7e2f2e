// The program entry as a user meets it: real processes of the built program under Xvfb.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Paths.h"
#include "tests/support/Processes.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11Windows.h"

namespace tavimo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using test::WaitExit;
using test::WaitFor;

pid_t Start(std::vector<std::string> args) {
  args.insert(args.begin(), test::ProgramPath());
  return test::Spawn(args, /*keepStdout=*/true);
}

void Kill(pid_t pid) { test::KillAndReap(pid); }

bool LockIsHeld() {
  int fd = ::open(InstanceLockPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

class EntryDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(dpy_, nullptr) << "no X display"; }

  bool MainWindowViewable() {
    for (Window w : test::ViewableTopLevels(dpy_)) {
      if (test::WindowTitle(dpy_, w) == "Tavimo V4.0") return true;
    }
    return false;
  }

  // Main windows of any copy, shown or hidden.
  int MainWindowCount() {
    Window root = DefaultRootWindow(dpy_), parent = 0, *children = nullptr;
    unsigned n = 0;
    int count = 0;
    if (!XQueryTree(dpy_, root, &root, &parent, &children, &n)) return 0;
    for (unsigned i = 0; i < n; ++i) {
      char* name = nullptr;
      if (XFetchName(dpy_, children[i], &name) && name) {
        count += std::strcmp(name, "Tavimo V4.0") == 0;
        XFree(name);
      }
    }
    if (children) XFree(children);
    return count;
  }

  test::TempHome home_;
  test::XDisplay display_;
  Display* dpy_ = display_.get();
};

TEST_F(EntryDesktopTest, SecondStartPressesF7AndEndsUntilTheFirstIsGone) {
  const KeyCode f7 = XKeysymToKeycode(dpy_, XK_F7);
  const Window root = DefaultRootWindow(dpy_);
  XGrabKey(dpy_, f7, AnyModifier, root, True, GrabModeAsync, GrabModeAsync);
  XSync(dpy_, False);

  const pid_t first = Start({"-mini"});
  ASSERT_TRUE(WaitFor(LockIsHeld, 10s));

  const auto t0 = Clock::now();
  const pid_t second = Start({"-mini"});
  EXPECT_EQ(WaitExit(second, 1000ms), 0);
  EXPECT_LT(Clock::now() - t0, 1000ms);

  bool pressed = false, released = false;
  const auto end = Clock::now() + 2s;
  while (Clock::now() < end && !(pressed && released)) {
    while (XPending(dpy_)) {
      XEvent ev;
      XNextEvent(dpy_, &ev);
      if (ev.type == KeyPress && ev.xkey.keycode == f7) pressed = true;
      if (ev.type == KeyRelease && ev.xkey.keycode == f7) released = pressed;
    }
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(released);
  // The second start opens no window of its own (its nudge may show the hidden first copy).
  EXPECT_LE(MainWindowCount(), 1);
  XUngrabKey(dpy_, f7, AnyModifier, root);

  // After a hard kill the kernel frees the lock: the next start is a first instance again.
  Kill(first);
  const pid_t third = Start({});
  EXPECT_TRUE(WaitFor(LockIsHeld, 10s));
  EXPECT_TRUE(WaitFor([&] { return MainWindowViewable(); }, 10s));
  EXPECT_EQ(WaitExit(third, 200ms), -1);  // still running
  Kill(third);
}

TEST_F(EntryDesktopTest, OnlyAnExactFirstParameterHidesTheWindow) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-MINI"}, {"x", "-mini"}, {"-mini2"}, {"-style", "fusion", "-mini"}}) {
    const pid_t pid = Start(args);
    EXPECT_TRUE(WaitFor([&] { return MainWindowViewable(); }, 10s)) << args[0];
    Kill(pid);
    ASSERT_TRUE(WaitFor([&] { return !MainWindowViewable(); }, 5s));
  }
}

// --help prints the usage and ends at once: no window, no lock, no nudge of a running copy; a
// usage that cannot be written is a failure.
TEST_F(EntryDesktopTest, HelpPrintsTheUsageAndStartsNothing) {
  std::string out;
  FILE* p = ::popen((test::ProgramPath() + " --help 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[512];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out.rfind("Usage: tavimo [-mini]\n", 0), 0u) << out;
  EXPECT_NE(out.find("-mini"), std::string::npos);
  EXPECT_FALSE(LockIsHeld());
  EXPECT_EQ(MainWindowCount(), 0);
  EXPECT_EQ(std::system((test::ProgramPath() + " --help >/dev/full 2>/dev/null").c_str()) >> 8, 1);
}

}  // namespace
}  // namespace tavimo
