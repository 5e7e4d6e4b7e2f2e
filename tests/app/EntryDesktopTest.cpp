// The program entry as a user meets it: real processes of the built program under Xvfb.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Paths.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string ProgramPath() {
  const char* dir = std::getenv("TAVIMO_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/tavimo";
}

pid_t Start(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    std::string prog = ProgramPath();
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    ::execv(prog.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for the process to end; the exit status, or -1 when it is still running at the deadline.
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(5ms);
  }
  return -1;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool LockIsHeld() {
  int fd = ::open(InstanceLockPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (cond()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return cond();
}

class EntryDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr) << "no X display";
  }
  void TearDown() override {
    if (dpy_) XCloseDisplay(dpy_);
  }

  bool MainWindowViewable() {
    Window root = DefaultRootWindow(dpy_), parent = 0, *children = nullptr;
    unsigned n = 0;
    bool found = false;
    if (!XQueryTree(dpy_, root, &root, &parent, &children, &n)) return false;
    for (unsigned i = 0; i < n && !found; ++i) {
      XWindowAttributes attr{};
      if (!XGetWindowAttributes(dpy_, children[i], &attr) || attr.map_state != IsViewable) continue;
      char* name = nullptr;
      if (XFetchName(dpy_, children[i], &name) && name) {
        found = std::strcmp(name, "Tavimo V4.0") == 0;
        XFree(name);
      }
    }
    if (children) XFree(children);
    return found;
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
  Display* dpy_ = nullptr;
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
       {std::vector<std::string>{"-MINI"}, {"x", "-mini"}, {"-mini2"}}) {
    const pid_t pid = Start(args);
    EXPECT_TRUE(WaitFor([&] { return MainWindowViewable(); }, 10s)) << args[0];
    Kill(pid);
    ASSERT_TRUE(WaitFor([&] { return !MainWindowViewable(); }, 5s));
  }
}

}  // namespace
}  // namespace tavimo
