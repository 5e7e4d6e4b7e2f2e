// The tray icon as a user meets it: the real program under Xvfb with trayer as the notification
// area, clicked and keyed with xdotool.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/Processes.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "tests/support/X11Windows.h"

namespace tavimo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using test::ProgramPath;
using test::Spawn;
using test::WaitFor;

void Xdotool(const std::string& args) { ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

struct XWin {
  Window id;
  std::string name, cls;
  bool viewable, popup, inTray;
};

class TrayDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(dpy_, nullptr) << "no X display"; }
  void TearDown() override {
    for (pid_t pid : pids_) test::KillAndReap(pid);
  }

  pid_t Start(std::vector<std::string> args) {
    pids_.push_back(Spawn(std::move(args)));
    return pids_.back();
  }

  // trayer as the notification area, ready once it owns the tray selection.
  void StartTrayHost() {
    Start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100",
           "--heighttype", "pixel", "--height", "30"});
    const Atom tray = XInternAtom(dpy_, "_NET_SYSTEM_TRAY_S0", False);
    ASSERT_TRUE(WaitFor([&] { return XGetSelectionOwner(dpy_, tray) != None; })) << "trayer did not start";
  }

  // Every window, depth first, marked when it sits inside trayer's panel.
  std::vector<XWin> Windows() {
    std::vector<XWin> out;
    std::function<void(Window, bool)> walk = [&](Window w, bool inTray) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned n = 0;
      if (!XQueryTree(dpy_, w, &root, &parent, &children, &n)) return;
      for (unsigned i = 0; i < n; ++i) {
        XWin x{children[i], {}, {}, false, false, inTray};
        XWindowAttributes attr{};
        if (XGetWindowAttributes(dpy_, x.id, &attr)) {
          x.viewable = attr.map_state == IsViewable;
          x.popup = attr.override_redirect;
        }
        XClassHint hint{};
        if (XGetClassHint(dpy_, x.id, &hint)) {
          x.cls = hint.res_class ? hint.res_class : "";
          XFree(hint.res_name);
          XFree(hint.res_class);
        }
        char* name = nullptr;
        if (XFetchName(dpy_, x.id, &name) && name) {
          x.name = name;
          XFree(name);
        }
        out.push_back(x);
        walk(x.id, inTray || x.cls == "trayer");
      }
      if (children) XFree(children);
    };
    walk(DefaultRootWindow(dpy_), false);
    return out;
  }

  Window Find(const std::function<bool(const XWin&)>& match) {
    for (const XWin& w : Windows())
      if (match(w)) return w.id;
    return 0;
  }
  Window TrayIconWindow() {
    return Find([](const XWin& w) { return w.inTray && w.cls == "tavimo" && w.viewable; });
  }
  bool MainWindowShown() {
    return Find([](const XWin& w) { return w.name == "Tavimo V4.0" && w.viewable; }) != 0;
  }
  bool MenuOpen() {
    return Find([](const XWin& w) { return w.cls == "tavimo" && w.popup && w.viewable && !w.inTray; }) != 0;
  }
  std::string Click(Window icon, const std::string& button, const char* at = "5 5") {
    return "mousemove --window " + std::to_string(icon) + " " + at + " click " + button;
  }

  test::TempHome home_;
  test::XDisplay display_;
  Display* dpy_ = display_.get();
  std::vector<pid_t> pids_;
};

TEST_F(TrayDesktopTest, HiddenStartSitsInTheTrayDoubleClickShowsAndTheMenuWorks) {
  StartTrayHost();
  const pid_t tavimo = Start({ProgramPath(), "-mini"});
  Window icon = 0;
  ASSERT_TRUE(WaitFor([&] { return (icon = TrayIconWindow()) != 0; })) << "no icon in the tray";
  EXPECT_FALSE(MainWindowShown());

  Xdotool(Click(icon, "--repeat 2 1"));
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }));

  // The menu pops up on a right click; its entries work from the keyboard: "Show Window" ...
  Xdotool("key Escape");  // hides the window again
  ASSERT_TRUE(WaitFor([&] { return !MainWindowShown(); }));
  Xdotool(Click(icon, "3"));
  ASSERT_TRUE(WaitFor([&] { return MenuOpen(); })) << "no popup menu";
  Xdotool("key Down Down Return");
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown() && !MenuOpen(); }));

  // ... and "Exit", the last one, ends the program, which takes its icon along. (Clicked a few
  // pixels away: a second press on the same spot so soon after the first is a double click,
  // which pops up nothing.)
  Xdotool(Click(icon, "3", "16 20"));
  ASSERT_TRUE(WaitFor([&] { return MenuOpen(); }));
  Xdotool("key Up Return");
  int status = -1;
  EXPECT_TRUE(WaitFor([&] { return waitpid(tavimo, &status, WNOHANG) == tavimo; })) << "still running";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  pids_.erase(std::find(pids_.begin(), pids_.end(), tavimo));
  EXPECT_TRUE(WaitFor([&] { return TrayIconWindow() == 0; }));
}

// "Search current Page" scans the page of the browser's session file; "Exit" in the middle of
// that scan, while a frame of the page never answers, ends the program at once with the
// settings saved and nothing fetched after it.
TEST_F(TrayDesktopTest, SearchCurrentPageScansTheBrowsersPageAndExitEndsTheScan) {
  test::TestServer server([](test::Conn& c, const test::HttpRequestSeen& rq) {
    if (rq.target == "/page.htm") {
      c.Send(test::TestServer::Response(
          200, "<iframe src=\"slow.htm\"></iframe><iframe src=\"later.htm\"></iframe>"));
    } else {
      c.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n<html>");
      c.Stall(30s);
    }
  });
  test::WriteFirefoxSession(home_.Path(), server.Url("/page.htm"));
  const std::string settings = std::string(std::getenv("XDG_CONFIG_HOME")) + "/tavimo/info.ini";
  StartTrayHost();
  const pid_t tavimo = Start({ProgramPath(), "-mini"});
  Window icon = 0;
  ASSERT_TRUE(WaitFor([&] { return (icon = TrayIconWindow()) != 0; })) << "no icon in the tray";

  // The options entry opens the options dialog.
  Xdotool(Click(icon, "3"));
  ASSERT_TRUE(WaitFor([&] { return MenuOpen(); })) << "no popup menu";
  Xdotool("key Down Down Down Down Return");
  const auto optionsShown = [&] {
    return Find([](const XWin& w) { return w.name == "Tavimo Options" && w.viewable; }) != 0;
  };
  ASSERT_TRUE(WaitFor(optionsShown)) << "no options dialog";
  Xdotool("key Escape");
  ASSERT_TRUE(WaitFor([&] { return !optionsShown(); }));

  Xdotool(Click(icon, "3", "16 20"));
  ASSERT_TRUE(WaitFor([&] { return MenuOpen(); })) << "no popup menu";
  Xdotool("key Down Return");  // "Search current Page"
  ASSERT_TRUE(WaitFor([&] { return server.Requests().size() == 2; })) << "the page was not scanned";
  EXPECT_EQ(server.Requests()[0].target, "/page.htm");
  EXPECT_EQ(server.Requests()[1].target, "/slow.htm");
  EXPECT_TRUE(MainWindowShown());
  EXPECT_FALSE(test::FileExists(settings));

  Xdotool(Click(icon, "3", "5 12"));
  ASSERT_TRUE(WaitFor([&] { return MenuOpen(); })) << "no popup menu during the scan";
  Xdotool("key Up Return");  // "Exit"
  int status = -1;
  ASSERT_TRUE(WaitFor([&] { return waitpid(tavimo, &status, WNOHANG) == tavimo; }, 20s)) << "still running";
  pids_.erase(std::find(pids_.begin(), pids_.end(), tavimo));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(test::FileExists(settings));
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(server.Requests().size(), 2u) << "fetched after Exit: " << server.Requests().back().target;
}

// The end of the session (SIGTERM here) during a scan closes as "Exit" does.
TEST_F(TrayDesktopTest, TerminationDuringAScanSavesTheSettingsAndFetchesNothingMore) {
  test::TestServer server([](test::Conn& c, const test::HttpRequestSeen& rq) {
    if (rq.target == "/page.htm") {
      c.Send(test::TestServer::Response(200, "<iframe src=\"slow.htm\"></iframe><iframe src=\"later.htm\">"));
    } else {
      c.Stall(30s);
    }
  });
  test::WriteFirefoxSession(home_.Path(), server.Url("/page.htm"));
  const std::string settings = std::string(std::getenv("XDG_CONFIG_HOME")) + "/tavimo/info.ini";
  const pid_t tavimo = Start({ProgramPath(), "-menuext"});
  ASSERT_TRUE(WaitFor([&] { return server.Requests().size() == 2; })) << "the page was not scanned";
  ::kill(tavimo, SIGTERM);
  int status = -1;
  ASSERT_TRUE(WaitFor([&] { return waitpid(tavimo, &status, WNOHANG) == tavimo; }, 20s)) << "still running";
  pids_.erase(std::find(pids_.begin(), pids_.end(), tavimo));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(test::FileExists(settings));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(TrayDesktopTest, WithoutATrayHostTheProgramStartsAndShowsItsWindow) {
  Start({ProgramPath()});
  EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }));
}

}  // namespace
}  // namespace tavimo
