// The preview player end to end under a real X server: generated movies served over HTTP on
// 127.0.0.1, previewed in the web view, checked by screenshots of the preview area.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWidget>

#include <memory>

#include "player/ShockwaveFlash.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/player/TestSwf.h"

namespace tavimo::test {
namespace {

using namespace std::literals;

const Rgb kEmpty{0xd4, 0xd0, 0xc8};  // the preview area's own colour
const Rgb kBlue{0x20, 0x40, 0xc0}, kRed{0xe0, 0x20, 0x20}, kYellow{0xf0, 0xe0, 0x10},
    kGreen{0x10, 0xa0, 0x30};

bool Near(QColor a, Rgb b) {
  return std::abs(a.red() - b.r) < 24 && std::abs(a.green() - b.g) < 24 && std::abs(a.blue() - b.b) < 24;
}
Rgb Of(QColor c) { return {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())}; }

bool WebEngineLoaded() {
  QFile maps("/proc/self/maps");
  return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// One window, server and player for the whole suite: the engine starts once, as in the program.
struct Stage {
  QWidget window;
  QWidget* host = new QWidget(&window);
  TestServer server;
  NetworkMovieFetcher fetcher;
  std::unique_ptr<FlashPlayer> player = ShockwaveFlashFactory(fetcher)(host);  // as the window does

  Stage() {
    window.setGeometry(40, 40, 320, 200);
    host->setGeometry(31, 23, 248, 131);
    QPalette palette = host->palette();
    palette.setColor(QPalette::Window, QColor(kEmpty.r, kEmpty.g, kEmpty.b));
    host->setPalette(palette);
    host->setAutoFillBackground(true);
    window.show();
    server.Put("/still.swf", MakeSwf(248, 131, kBlue, 74, 30, 100, 70, {kRed}));
    server.Put("/other.swf", MakeSwf(248, 131, kGreen, 74, 30, 100, 70, {kYellow}));
    server.Put("/anim.swf", MakeSwf(248, 131, kBlue, 74, 30, 100, 70, {kRed, kYellow}, 4));
    server.Put("/broken.swf", "FWS\x0a\x40"sv);  // a header cut short
    server.Put("/zlib.swf", "CWS\x0a\x40\x00\x00\x00\x78\x9cno zlib stream at all"sv);
    server.Put("/page.swf", "<html><body>moved</body></html>");
  }
  QImage Shot() const {
    const QPoint at = host->mapToGlobal(QPoint(0, 0));
    return host->screen()->grabWindow(0, at.x(), at.y(), 248, 131).toImage();
  }
  QColor Centre() const { return Shot().pixelColor(124, 65); }
  bool ShowsStill(Rgb background, Rgb rectangle) const {
    const QImage shot = Shot();
    return Near(shot.pixelColor(124, 65), rectangle) && Near(shot.pixelColor(8, 8), background) &&
           Near(shot.pixelColor(240, 124), background);
  }
  bool ShowsNothing() const {
    const QImage shot = Shot();
    for (int y = 0; y < shot.height(); y += 5) {
      for (int x = 0; x < shot.width(); x += 5) {
        if (!Near(shot.pixelColor(x, y), kEmpty)) return false;
      }
    }
    return true;
  }
  void Show(const char* path) { Preview(*player, server.Url(path)); }
};

std::unique_ptr<Stage> stage;

TEST(PlayerDesktop, PreviewShowsTheMovieAndBlankClearsIt) {
  Stage& s = *stage;
  ASSERT_TRUE(WaitUntil([&] { return s.window.isVisible(); }));
  Pump(200);
  EXPECT_TRUE(s.ShowsNothing()) << "the area is empty before any preview";
  // Blanking an unused player (as hiding the window does) must not start the web engine.
  s.player->Movie("blank.swf");
  s.player->Stop();
  EXPECT_FALSE(WebEngineLoaded());

  s.Show("/still.swf");
  EXPECT_TRUE(WebEngineLoaded());
  ASSERT_TRUE(WaitUntil([&] { return s.ShowsStill(kBlue, kRed); }, 30000))
      << "centre pixel " << s.Centre().name().toStdString();

  // A right-button click neither opens a menu over the movie nor disturbs it.
  const QPoint centre = s.host->mapToGlobal(QPoint(124, 65));
  ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", QString::number(centre.x()),
                                          QString::number(centre.y()), "click", "3"}),
            0);
  Pump(700);
  EXPECT_TRUE(s.ShowsStill(kBlue, kRed));

  s.player->Movie("blank.swf");
  s.player->Stop();
  EXPECT_TRUE(WaitUntil([&] { return s.ShowsNothing(); }));

  // The warm player shows the next movies, also after the window was made topmost (which
  // recreates its X window, as the "stay on top" option does).
  s.Show("/other.swf");
  EXPECT_TRUE(WaitUntil([&] { return s.ShowsStill(kGreen, kYellow); }));
  s.window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  s.window.show();
  s.Show("/still.swf");
  EXPECT_TRUE(WaitUntil([&] { return s.ShowsStill(kBlue, kRed); }));
}

TEST(PlayerDesktop, StopPausesAndPlayResumesAnAnimation) {
  Stage& s = *stage;
  s.Show("/anim.swf");  // four frames a second, red and yellow in turn
  ASSERT_TRUE(WaitUntil([&] { return Near(s.Centre(), kRed); }, 30000));
  ASSERT_TRUE(WaitUntil([&] { return Near(s.Centre(), kYellow); }, 3000));

  s.player->Stop();
  Pump(400);
  const Rgb paused = Of(s.Centre());
  EXPECT_TRUE(Near(s.Centre(), kRed) || Near(s.Centre(), kYellow));
  for (int i = 0; i < 8; ++i) {
    Pump(150);
    EXPECT_TRUE(Near(s.Centre(), paused)) << "frame changed while stopped";
  }
  s.player->Play();
  EXPECT_TRUE(WaitUntil([&] { return !Near(s.Centre(), paused); }, 3000));
}

TEST(PlayerDesktop, MoviesThatCannotBeShownLeaveTheAreaEmpty) {
  Stage& s = *stage;
  s.Show("/still.swf");
  ASSERT_TRUE(WaitUntil([&] { return s.ShowsStill(kBlue, kRed); }, 30000));
  for (const char* path : {"/missing.swf", "/page.swf", "/broken.swf", "/zlib.swf"}) {
    s.Show(path);
    EXPECT_TRUE(WaitUntil([&] { return s.ShowsNothing(); })) << path;
    Pump(1500);  // and no error screen appears later
    EXPECT_TRUE(s.ShowsNothing()) << path;
  }
}

TEST(PlayerDesktop, TheWholeMovieFitsTheAreaWithItsShapeKept) {
  Stage& s = *stage;
  const Rgb kWhite{0xf8, 0xf8, 0xf8};
  // Movies of other shapes than the area, each with a box of its own colour in every corner
  // (a fifth of the movie each way); the area must show all four, undistorted.
  const struct {
    const char* path;
    int w, h;
  } movies[] = {{"/square.swf", 400, 400}, {"/wide.swf", 800, 200}, {"/double.swf", 496, 262}};
  for (const auto& m : movies) {
    const int bw = m.w / 5, bh = m.h / 5;
    const std::vector<Box> corners = {{0, 0, bw, bh, kRed},
                                      {m.w - bw, 0, bw, bh, kYellow},
                                      {0, m.h - bh, bw, bh, kGreen},
                                      {m.w - bw, m.h - bh, bw, bh, kWhite}};
    s.server.Put(m.path, MakeStillSwf(m.w, m.h, kBlue, corners));
    s.Show(m.path);
    const double scale = std::min(248.0 / m.w, 131.0 / m.h);
    const double left = (248 - m.w * scale) / 2, top = (131 - m.h * scale) / 2;
    auto at = [&](double x, double y) { return QPoint(int(left + x * scale), int(top + y * scale)); };
    const QPoint centres[] = {at(bw / 2.0, bh / 2.0), at(m.w - bw / 2.0, bh / 2.0),
                              at(bw / 2.0, m.h - bh / 2.0), at(m.w - bw / 2.0, m.h - bh / 2.0)};
    auto showsCorners = [&] {
      const QImage shot = s.Shot();
      for (int i = 0; i < 4; ++i) {
        if (!Near(shot.pixelColor(centres[i]), corners[i].colour)) return false;
      }
      return Near(shot.pixelColor(124, 65), kBlue);
    };
    EXPECT_TRUE(WaitUntil(showsCorners, 30000)) << m.path << ": corners " << [&] {
      std::string seen;
      for (const QPoint& p : centres) seen += s.Shot().pixelColor(p).name().toStdString() + " ";
      return seen;
    }();
  }
}

}  // namespace
}  // namespace tavimo::test

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  tavimo::test::stage = std::make_unique<tavimo::test::Stage>();
  const int result = RUN_ALL_TESTS();
  tavimo::test::stage.reset();
  return result;
}
