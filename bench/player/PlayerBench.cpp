// Preview player figures, printed one per line:
//   idle     resident memory of a program with the preview area shown and no movie yet
//   preview  time from Movie() to the movie's first frame on screen (cold, then warm), and the
//            memory of the program and the web engine's processes afterwards
//   prepared time to the first frame when Prepare() ran a few seconds before
// Frames are detected from screenshots of the preview area, as a user would see them.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef LINK_WEB_ENGINE
#include <QWebEngineProfile>
#endif

#include "player/ShockwaveFlash.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/player/TestSwf.h"

using namespace tavimo;
using namespace tavimo::test;

namespace {

long RssKb(const std::string& pid = "self") {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// The pids of a process and every process below it (the web engine's helpers, which may be
// started by any of its threads).
std::vector<std::string> Tree(const std::string& pid) {
  std::vector<std::string> pids{pid};
  const QStringList tasks = QDir(QStringLiteral("/proc/%1/task").arg(QString::fromStdString(pid)))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& task : tasks) {
    std::ifstream file("/proc/" + pid + "/task/" + task.toStdString() + "/children");
    std::string child;
    while (file >> child) {
      for (const std::string& below : Tree(child)) pids.push_back(below);
    }
  }
  return pids;
}

// Proportional set size of the program and its helpers: shared pages counted once in all.
long TreePssKb() {
  long total = 0;
  for (const std::string& pid : Tree(std::to_string(QCoreApplication::applicationPid()))) {
    std::ifstream file("/proc/" + pid + "/smaps_rollup");
    std::string line;
    while (std::getline(file, line)) {
      if (line.rfind("Pss:", 0) == 0) total += std::stol(line.substr(4));
    }
  }
  return total;
}

// CPU time (user + system) used so far by the program and its helpers, in milliseconds: a figure
// that other work on the machine disturbs less than the wall-clock times.
double TreeCpuMs() {
  double ticks = 0;
  for (const std::string& pid : Tree(std::to_string(QCoreApplication::applicationPid()))) {
    std::ifstream file("/proc/" + pid + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos) continue;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::stod(field);
    }
  }
  return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

double LoadAverage() {
  std::ifstream file("/proc/loadavg");
  double load = 0;
  file >> load;
  return load;
}

bool Near(QColor a, Rgb b) {
  return std::abs(a.red() - b.r) < 24 && std::abs(a.green() - b.g) < 24 && std::abs(a.blue() - b.b) < 24;
}

struct Area {
  QWidget window;
  QWidget* host;
  Area() {
    window.setGeometry(40, 40, 320, 200);
    host = new QWidget(&window);
    host->setGeometry(31, 23, 248, 131);
    window.show();
  }
  bool Shows(Rgb background, Rgb rectangle) const {
    const QPoint at = host->mapToGlobal(QPoint(0, 0));
    const QImage shot = host->screen()->grabWindow(0, at.x(), at.y(), 248, 131).toImage();
    return Near(shot.pixelColor(124, 65), rectangle) && Near(shot.pixelColor(8, 8), background);
  }
};

// Milliseconds from Movie() to the frame on screen; -1 after 20 s.
double TimeToFrame(TShockwaveFlash& player, const Area& area, const std::string& url, Rgb background,
                   Rgb rectangle) {
  QElapsedTimer timer;
  timer.start();
  player.Stop();
  player.Movie(url);
  player.Play();
  while (!area.Shows(background, rectangle)) {
    if (timer.elapsed() > 20000) return -1;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "preview";
#ifdef LINK_WEB_ENGINE
  // Keeps the link to the web engine without using it.
  if (argc > 99) QWebEngineProfile::defaultProfile();
#endif
  Area area;
  TestServer server;
  NetworkMovieFetcher fetcher;
  TShockwaveFlash player(area.host, fetcher);
  Pump(1500);

  if (mode == "idle") {
    std::printf("idle RSS: %.1f MB\n", RssKb() / 1024.0);
    return 0;
  }

  const Rgb blue{0x20, 0x40, 0xc0}, red{0xe0, 0x20, 0x20}, green{0x10, 0xa0, 0x30}, yellow{0xf0, 0xe0, 0x10};
  const std::string a = MakeSwf(248, 131, blue, 74, 30, 100, 70, {red});
  const std::string b = MakeSwf(248, 131, green, 74, 30, 100, 70, {yellow});
  server.Put("/a.swf", a);
  server.Put("/b.swf", b);

  if (mode == "prepared") {  // the engine started when the scan began, a few seconds earlier
    player.Prepare();
    Pump(6000);
    std::printf("first preview frame after Prepare(): %.0f ms\n",
                TimeToFrame(player, area, server.Url("/a.swf"), blue, red));
    return 0;
  }
  const double cpuBefore = TreeCpuMs();
  const double cold = TimeToFrame(player, area, server.Url("/a.swf"), blue, red);
  const double cpuCold = TreeCpuMs() - cpuBefore;
  std::printf("first preview frame (cold): %.0f ms (CPU time of all processes: %.0f ms)\n", cold, cpuCold);
  Pump(500);
  std::vector<double> warm;
  for (int i = 0; i < 10; ++i) {
    const bool even = i % 2 == 0;
    warm.push_back(TimeToFrame(player, area, server.Url(even ? "/b.swf" : "/a.swf"), even ? green : blue,
                               even ? yellow : red));
    Pump(200);
  }
  std::sort(warm.begin(), warm.end());
  std::printf("next movie (warm), 10 runs: median %.0f ms, max %.0f ms\n", warm[warm.size() / 2],
              warm.back());
  std::printf("machine load (1 min average, 2 cores): %.1f\n", LoadAverage());
  std::printf("after previews: program RSS %.1f MB; program and web engine processes PSS %.1f MB\n",
              RssKb() / 1024.0, TreePssKb() / 1024.0);
  return cold < 0 || warm.front() < 0 ? 1 : 0;
}
