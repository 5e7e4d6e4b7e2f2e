// TShockwaveFlash's own rules, with the real fetch path (HTTP on 127.0.0.1) and a view that
// records what it is asked to show instead of starting the web engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTcpServer>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "player/PlayerView.h"
#include "player/ShockwaveFlash.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/player/TestSwf.h"

namespace tavimo::test {
namespace {

struct Shown {
  std::string base;
  std::string bytes;
};

// Records the calls; "show" entries keep the movie's bytes in `shown`.
class RecordingView : public PlayerView {
 public:
  explicit RecordingView(QWidget* parent) : widget_(new QWidget(parent)) {}
  ~RecordingView() override { delete widget_; }
  QWidget* Widget() override { return widget_; }
  void ShowMovie(const std::string& base, std::string bytes) override {
    calls.push_back("show");
    shown.push_back({base, std::move(bytes)});
  }
  void ShowNothing() override { calls.push_back("nothing"); }
  void Resume() override { calls.push_back("resume"); }
  void Suspend() override { calls.push_back("suspend"); }

  std::vector<std::string> calls;
  std::vector<Shown> shown;

 private:
  QWidget* widget_;
};

// Answers only when the test says so, in any order.
class HeldFetcher : public MovieFetcher {
 public:
  void Fetch(const std::string& url, Answer answer) override {
    urls.push_back(url);
    answers.push_back(std::move(answer));
  }
  void Cancel() override { ++cancels; }
  int cancels = 0;
  std::vector<std::string> urls;
  std::vector<Answer> answers;
};

const std::string kMovie = MakeSwf(248, 131, {0, 0, 255}, 10, 10, 50, 50, {{255, 0, 0}});

class ShockwaveFlashTest : public ::testing::Test {
 protected:
  ShockwaveFlashTest() { host_.resize(248, 131); }

  // A player over `fetcher` whose views are recorded; `makes` counts the views made.
  std::unique_ptr<TShockwaveFlash> MakePlayer(MovieFetcher& fetcher, bool viewAvailable = true) {
    auto make = [this, viewAvailable](QWidget* parent) -> PlayerView* {
      ++makes_;
      if (!viewAvailable) return nullptr;
      view_ = new RecordingView(parent);
      return view_;
    };
    return std::make_unique<TShockwaveFlash>(&host_, fetcher, make);
  }
  QWidget host_;
  RecordingView* view_ = nullptr;  // owned by the player
  int makes_ = 0;
};

TEST_F(ShockwaveFlashTest, FetchesTheMovieOnceAndHandsItsExactBytesToTheView) {
  TestServer server;
  server.Put("/movies/a.swf", kMovie);
  NetworkMovieFetcher fetcher;
  auto player = MakePlayer(fetcher);
  EXPECT_EQ(makes_, 0) << "no view before the first movie";

  const std::string url = server.Url("/movies/a.swf");
  Preview(*player, url);
  EXPECT_EQ(makes_, 1);
  ASSERT_TRUE(WaitUntil([this] { return view_ && !view_->shown.empty(); }));
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/movies/a.swf"});
  EXPECT_EQ(view_->shown[0].base, url);
  EXPECT_EQ(view_->shown[0].bytes, kMovie);
  EXPECT_EQ(view_->calls.back(), "show") << "played, not stopped afterwards";

  // The same view serves the next movie.
  Preview(*player, url);
  ASSERT_TRUE(WaitUntil([this] { return view_->shown.size() == 2; }));
  EXPECT_EQ(makes_, 1);
}

TEST_F(ShockwaveFlashTest, BlankShowsNothingAndNeverFetchesOrStartsThePlayer) {
  HeldFetcher fetcher;
  auto player = MakePlayer(fetcher);
  player->Movie("blank.swf");
  player->Stop();
  player->Play();
  EXPECT_EQ(makes_, 0) << "blanking an unused player must not start the web engine";
  EXPECT_TRUE(fetcher.urls.empty());

  player->Prepare();  // a scan started: the view is made, nothing is fetched or shown
  ASSERT_NE(view_, nullptr);
  EXPECT_TRUE(view_->calls.empty());
  player->Movie("http://127.0.0.1:1/a.swf");
  EXPECT_EQ(makes_, 1);
  fetcher.answers[0](true, kMovie);
  view_->calls.clear();
  player->Movie("blank.swf");
  player->Stop();
  EXPECT_EQ(view_->calls, (std::vector<std::string>{"nothing", "suspend"}));
  EXPECT_EQ(fetcher.urls.size(), 1u);
}

TEST_F(ShockwaveFlashTest, MoviesThatCannotBeFetchedOrAreNoFlashShowNothing) {
  TestServer server;
  server.Put("/page.swf", "<html>not a movie</html>");
  server.Put("/short.swf", "FWS");
  QTcpServer closed;  // a port that refuses connections once closed
  closed.listen(QHostAddress::LocalHost, 0);
  const std::string refused = "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/a.swf";
  closed.close();
  NetworkMovieFetcher fetcher;
  auto player = MakePlayer(fetcher);

  for (const std::string& url : {server.Url("/missing.swf"), server.Url("/page.swf"),
                                 server.Url("/short.swf"), refused, std::string("other.swf")}) {
    const int before = fetcher.answered;
    Preview(*player, url);
    ASSERT_NE(view_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return fetcher.answered == before + 1; })) << url;
    EXPECT_TRUE(view_->shown.empty()) << url;
    EXPECT_EQ(view_->calls.back(), "resume") << url;
  }
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/missing.swf", "/page.swf", "/short.swf"}));
}

TEST_F(ShockwaveFlashTest, AnAddressTheNetworkLayerRefusesRaisesNoError) {
  struct Refusing : MovieFetcher {  // THttpCli raises for a malformed address
    void Fetch(const std::string&, Answer) override { throw std::runtime_error("bad address"); }
  } refusing;
  auto player = MakePlayer(refusing);
  EXPECT_NO_THROW(Preview(*player, "http://[bad/a.swf"));
  EXPECT_TRUE(view_->shown.empty());
}

TEST_F(ShockwaveFlashTest, OnlyTheLatestMovieIsShownWhateverOrderAnswersCome) {
  HeldFetcher fetcher;
  auto player = MakePlayer(fetcher);
  Preview(*player, "http://host/first.swf");
  Preview(*player, "http://host/second.swf");
  ASSERT_EQ(fetcher.answers.size(), 2u);
  fetcher.answers[1](true, kMovie + "2");
  fetcher.answers[0](true, kMovie + "1");
  ASSERT_EQ(view_->shown.size(), 1u);
  EXPECT_EQ(view_->shown[0].base, "http://host/second.swf");
  EXPECT_EQ(view_->shown[0].bytes, kMovie + "2");

  // A movie replaced by "blank.swf" before it arrives stays away.
  player->Movie("http://host/third.swf");
  player->Movie("blank.swf");
  EXPECT_EQ(fetcher.cancels, 1);  // and its fetch is abandoned
  fetcher.answers[2](true, kMovie);
  EXPECT_EQ(view_->shown.size(), 1u);

  // An answer after the player is gone touches neither it nor its view.
  player->Movie("http://host/fourth.swf");
  player.reset();
  fetcher.answers[3](true, kMovie);
}

TEST_F(ShockwaveFlashTest, StopBeforeTheBytesArriveKeepsTheNewMovieStopped) {
  HeldFetcher fetcher;
  auto player = MakePlayer(fetcher);
  player->Movie("http://host/a.swf");
  player->Stop();
  view_->calls.clear();
  fetcher.answers[0](true, kMovie);
  EXPECT_EQ(view_->calls, (std::vector<std::string>{"show", "suspend"}));

  // Play afterwards resumes it; a new movie starts playing again.
  player->Play();
  EXPECT_EQ(view_->calls.back(), "resume");
  player->Movie("http://host/b.swf");
  view_->calls.clear();
  fetcher.answers[1](true, kMovie);
  EXPECT_EQ(view_->calls, (std::vector<std::string>{"show"}));
}

TEST_F(ShockwaveFlashTest, WithoutAPlayerModuleTheAreaStaysEmptyAndNothingIsFetched) {
  HeldFetcher fetcher;
  auto player = MakePlayer(fetcher, false);
  Preview(*player, "http://host/a.swf");
  Preview(*player, "http://host/b.swf");
  player->Movie("blank.swf");
  EXPECT_EQ(makes_, 1) << "a missing module is looked for once";
  EXPECT_TRUE(fetcher.urls.empty());
}

TEST_F(ShockwaveFlashTest, PlaceholderFillsTheAreaUntilTheViewIsReady) {
  HeldFetcher fetcher;
  auto player = MakePlayer(fetcher);
  host_.show();
  player->Movie("http://host/a.swf");
  Pump(0);
  QWidget* view = view_->Widget();
  EXPECT_FALSE(view->isVisible());
  QWidget* shown = nullptr;
  for (QWidget* child : host_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisible()) shown = child;
  }
  ASSERT_NE(shown, nullptr) << "a placeholder covers the area";
  EXPECT_EQ(shown->geometry(), host_.rect());

  view_->OnReady();
  Pump(0);
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(shown->isVisible());
  EXPECT_EQ(view->geometry(), host_.rect());
}

}  // namespace
}  // namespace tavimo::test

int main(int argc, char** argv) {
  // Test discovery runs the suite without the environment of the test run.
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
