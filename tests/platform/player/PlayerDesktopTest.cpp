// The preview player end to end under a real X server: generated movies served over HTTP on
// 127.0.0.1, previewed in the web view, checked by screenshots of the preview area.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "platform/ShockwaveFlash.h"
#include "tests/platform/player/MovieServer.h"
#include "tests/platform/player/TestSwf.h"

namespace tavimo::test {
namespace {

const QColor kEmpty(0xd4, 0xd0, 0xc8);  // the preview area's own colour
const Rgb kBlue{0x20, 0x40, 0xc0};
const Rgb kRed{0xe0, 0x20, 0x20};
const Rgb kYellow{0xf0, 0xe0, 0x10};
const Rgb kGreen{0x10, 0xa0, 0x30};

bool Near(QColor a, Rgb b) {
  return std::abs(a.red() - b.r) < 24 && std::abs(a.green() - b.g) < 24 &&
         std::abs(a.blue() - b.b) < 24;
}
bool Near(QColor a, QColor b) { return Near(a, Rgb{uint8_t(b.red()), uint8_t(b.green()), uint8_t(b.blue())}); }

bool WebEngineLoaded() {
  QFile maps("/proc/self/maps");
  return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > ms) return false;
    Pump(25);
  }
  return true;
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

class PlayerDesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_ = new QWidget;
    window_->setGeometry(40, 40, 320, 200);
    host_ = new QWidget(window_);
    host_->setGeometry(31, 23, 248, 131);
    QPalette palette = host_->palette();
    palette.setColor(QPalette::Window, kEmpty);
    host_->setPalette(palette);
    host_->setAutoFillBackground(true);
    window_->show();
    server_ = new MovieServer;
    // A still movie the size of the area: blue background, a red rectangle in the middle.
    server_->Put("/still.swf", Bytes(MakeSwf(248, 131, kBlue, 74, 30, 100, 70, {kRed})));
    server_->Put("/other.swf", Bytes(MakeSwf(248, 131, kGreen, 74, 30, 100, 70, {kYellow})));
    server_->Put("/anim.swf", Bytes(MakeSwf(248, 131, kBlue, 74, 30, 100, 70, {kRed, kYellow}, 4)));
    server_->Put("/broken.swf", QByteArray("FWS\x0a\x40\x00\x00\x00garbage that is no movie"));
    server_->Put("/page.swf", QByteArray("<html><body>moved</body></html>"));
    fetcher_ = new NetworkMovieFetcher;
    player_ = new TShockwaveFlash(host_, *fetcher_);
  }
  static void TearDownTestSuite() {
    delete player_;
    delete fetcher_;
    delete server_;
    delete window_;
  }

  static QImage Shot() {
    const QPoint at = host_->mapToGlobal(QPoint(0, 0));
    return host_->screen()->grabWindow(0, at.x(), at.y(), host_->width(), host_->height()).toImage();
  }
  static QColor Centre() { return Shot().pixelColor(124, 65); }
  static bool ShowsStill(Rgb background, Rgb rectangle) {
    const QImage shot = Shot();
    return Near(shot.pixelColor(124, 65), rectangle) && Near(shot.pixelColor(8, 8), background) &&
           Near(shot.pixelColor(240, 124), background);
  }
  static bool ShowsNothing() {
    const QImage shot = Shot();
    for (int y = 0; y < shot.height(); y += 5) {
      for (int x = 0; x < shot.width(); x += 5) {
        if (!Near(shot.pixelColor(x, y), kEmpty)) return false;
      }
    }
    return true;
  }
  static void Preview(const std::string& url) {
    player_->Stop();
    player_->Movie(url);
    player_->Play();
  }

  static QWidget* window_;
  static QWidget* host_;
  static MovieServer* server_;
  static NetworkMovieFetcher* fetcher_;
  static TShockwaveFlash* player_;
};

QWidget* PlayerDesktopTest::window_ = nullptr;
QWidget* PlayerDesktopTest::host_ = nullptr;
MovieServer* PlayerDesktopTest::server_ = nullptr;
NetworkMovieFetcher* PlayerDesktopTest::fetcher_ = nullptr;
TShockwaveFlash* PlayerDesktopTest::player_ = nullptr;

TEST_F(PlayerDesktopTest, PreviewShowsTheMovieAndBlankClearsIt) {
  ASSERT_TRUE(WaitUntil([] { return window_->isVisible(); }, 5000));
  Pump(200);
  EXPECT_TRUE(ShowsNothing()) << "the area is empty before any preview";
  // Blanking an unused player (as hiding the window does) must not start the web engine.
  player_->Movie("blank.swf");
  player_->Stop();
  EXPECT_FALSE(WebEngineLoaded());

  Preview(server_->Url("/still.swf"));
  EXPECT_TRUE(WebEngineLoaded());
  ASSERT_TRUE(WaitUntil([] { return ShowsStill(kBlue, kRed); }, 30000))
      << "centre pixel " << Centre().name().toStdString();

  // A right-button click neither opens a menu over the movie nor disturbs it.
  const QPoint centre = host_->mapToGlobal(QPoint(124, 65));
  ASSERT_EQ(QProcess::execute("xdotool", {"mousemove", QString::number(centre.x()),
                                          QString::number(centre.y()), "click", "3"}), 0);
  Pump(700);
  EXPECT_TRUE(ShowsStill(kBlue, kRed));

  player_->Movie("blank.swf");
  player_->Stop();
  EXPECT_TRUE(WaitUntil(ShowsNothing, 5000));

  // The warm player shows the next movie.
  Preview(server_->Url("/other.swf"));
  EXPECT_TRUE(WaitUntil([] { return ShowsStill(kGreen, kYellow); }, 5000));
  Preview(server_->Url("/still.swf"));
  EXPECT_TRUE(WaitUntil([] { return ShowsStill(kBlue, kRed); }, 5000));
}

TEST_F(PlayerDesktopTest, StopPausesAndPlayResumesAnAnimation) {
  Preview(server_->Url("/anim.swf"));
  // Four frames a second, alternating red and yellow.
  ASSERT_TRUE(WaitUntil([] { return Near(Centre(), kRed); }, 30000));
  ASSERT_TRUE(WaitUntil([] { return Near(Centre(), kYellow); }, 3000));

  player_->Stop();
  Pump(400);
  const QColor paused = Centre();
  EXPECT_TRUE(Near(paused, kRed) || Near(paused, kYellow));
  for (int i = 0; i < 8; ++i) {
    Pump(150);
    EXPECT_TRUE(Near(Centre(), paused)) << "frame changed while stopped";
  }

  player_->Play();
  EXPECT_TRUE(WaitUntil([paused] { return !Near(Centre(), paused); }, 3000));
}

TEST_F(PlayerDesktopTest, MoviesThatCannotBeShownLeaveTheAreaEmpty) {
  Preview(server_->Url("/still.swf"));
  ASSERT_TRUE(WaitUntil([] { return ShowsStill(kBlue, kRed); }, 30000));
  for (const char* path : {"/missing.swf", "/page.swf", "/broken.swf"}) {
    Preview(server_->Url(path));
    EXPECT_TRUE(WaitUntil(ShowsNothing, 5000)) << path;
    Pump(1500);  // and no error screen appears later
    EXPECT_TRUE(ShowsNothing()) << path;
  }
}

}  // namespace
}  // namespace tavimo::test

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
