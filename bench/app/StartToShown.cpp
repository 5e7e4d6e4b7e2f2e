// Starts a program and measures, on the X server it talks to, the time from just before the
// program's exec to the map of its window with the given title, then the resident memory of
// the idle program a while later. Prints "<ms> <rss_kb>" and ends the program.
//   bench_app_start_to_shown <title> <idle_ms> <program> [args...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long RssKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

bool HasTitle(Display* d, Window w, const std::string& title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) == 0 || !name) return false;
  const bool same = title == name;
  XFree(name);
  return same;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // windows may vanish while we look

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <title> <idle_ms> <program> [args...]\n", argv[0]);
    return 2;
  }
  const std::string title = argv[1];
  const int idleMs = std::atoi(argv[2]);
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  XSetErrorHandler(IgnoreErrors);
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);

  const double start = NowMs();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  double shown = -1;
  const int fd = ConnectionNumber(d);
  while (shown < 0 && NowMs() - start < 20000) {
    while (XPending(d)) {
      XEvent ev;
      XNextEvent(d, &ev);
      if (ev.type == MapNotify && HasTitle(d, ev.xmap.window, title)) shown = NowMs();
    }
    if (shown >= 0) break;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 50);
  }
  if (shown < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::fprintf(stderr, "window \"%s\" never shown\n", title.c_str());
    return 1;
  }
  usleep(static_cast<useconds_t>(idleMs) * 1000);
  const long rss = RssKb(pid);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::printf("%.1f %ld\n", shown - start, rss);
  return 0;
}
