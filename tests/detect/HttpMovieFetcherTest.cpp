#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

#include "detect/HttpMovieFetcher.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;
using Answers = std::vector<std::pair<bool, std::string>>;

bool PumpUntil(const std::function<bool()>& done, int limitMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return done();
}

TEST(HttpMovieFetcher, AnswersOnceFromTheEventLoopWithTheMovieOrNothing) {
  TestServer server(
      TestServer::Files({{"/a.swf", TestServer::Response(200, "FWS-a")},
                         {"/big.swf", TestServer::Response(200, "FWS" + std::string(5000, 'x'))}}));
  int port;
  {
    TestServer gone([](test::Conn&, const test::HttpRequestSeen&) {});
    port = gone.Port();
  }
  const std::string gone = "http://127.0.0.1:" + std::to_string(port) + "/x.swf";
  const struct {
    std::string url;
    bool ok;
    std::string bytes;
    std::string said;  // what OnNotShown tells the user, empty for a movie shown
  } cases[] = {
      {server.Url("/a.swf"), true, "FWS-a", ""},
      {server.Url("/missing.swf"), false, "", "Preview: 404 Not Found"},  // a 404 page is no movie
      {gone, false, "", "Preview: connection refused"},
      {"no host at all", false, "", "Preview: "},
      {server.Url("/big.swf"), false, "",
       "Preview: the movie is larger than 1000 bytes, the most the preview fetches"},
  };
  THttpMovieFetcher fetcher;
  fetcher.Client().InactivityTimeout = 3;
  fetcher.MaxMovieBytes = 1000;
  std::vector<std::string> said;
  fetcher.OnNotShown = [&](const std::string& url, const std::string& text) {
    said.push_back(url + " " + text);
  };
  for (const auto& c : cases) {
    Answers answers;
    said.clear();
    fetcher.Fetch(c.url, [&](bool ok, std::string bytes) { answers.emplace_back(ok, std::move(bytes)); });
    EXPECT_TRUE(answers.empty()) << c.url;  // never inside the caller
    ASSERT_TRUE(PumpUntil([&] { return !answers.empty(); })) << c.url;
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u) << c.url;
    EXPECT_EQ(answers[0], std::make_pair(c.ok, c.bytes)) << c.url;
    if (c.said.empty()) {
      EXPECT_TRUE(said.empty()) << c.url;
    } else {
      // Every movie not shown is said once, with its reason (a bad address: the client's text).
      ASSERT_EQ(said.size(), 1u) << c.url;
      EXPECT_EQ(said[0].rfind(c.url + " " + c.said, 0), 0u) << said[0];
      EXPECT_GT(said[0].size(), (c.url + " Preview: ").size()) << said[0];
    }
  }
}

TEST(HttpMovieFetcher, ANewMovieAbandonsTheOneInFlightAndTheWaitingOnes) {
  // /slow.swf starts its answer and then holds the connection until the client leaves.
  TestServer server([](test::Conn& c, int) {
    const std::string head = c.ReadHead();
    if (head.find("GET /slow.swf") != std::string::npos) {
      c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nFWS");
      c.WaitForClose(20000);
      return;
    }
    const std::string name = head.substr(5, head.find(' ', 5) - 5);
    c.Send(TestServer::Response(200, "FWS" + name));
    c.Close();
  });
  THttpMovieFetcher fetcher;
  std::vector<std::string> log;
  auto answer = [&](const std::string& name) {
    return
        [&log, name](bool ok, std::string bytes) { log.push_back(name + (ok ? " " + bytes : " dropped")); };
  };
  // Clicks in a row: only the last one is fetched.
  fetcher.Fetch(server.Url("/one.swf"), answer("one"));
  fetcher.Fetch(server.Url("/two.swf"), answer("two"));
  fetcher.Fetch(server.Url("/three.swf"), answer("three"));
  ASSERT_TRUE(PumpUntil([&] { return log.size() == 3; }));
  EXPECT_EQ(log, (std::vector<std::string>{"one dropped", "two dropped", "three FWSthree.swf"}));
  EXPECT_EQ(server.Connections(), 1);

  // A slow movie in flight gives way to the next click at once.
  log.clear();
  // The click arrives as an event while the slow fetch waits.
  QTimer click;
  click.setInterval(10);
  QObject::connect(&click, &QTimer::timeout, [&] {
    if (server.Connections() < 2) return;
    click.stop();
    fetcher.Fetch(server.Url("/next.swf"), answer("next"));
  });
  click.start();
  fetcher.Fetch(server.Url("/slow.swf"), answer("slow"));
  ASSERT_TRUE(PumpUntil([&] { return log.size() == 2; }));
  EXPECT_EQ(log, (std::vector<std::string>{"slow dropped", "next FWSnext.swf"}));

  // Blanking the area abandons it too.
  log.clear();
  QTimer blank;
  blank.setInterval(10);
  QObject::connect(&blank, &QTimer::timeout, [&] {
    if (server.Connections() < 4) return;
    blank.stop();
    fetcher.Cancel();
  });
  blank.start();
  fetcher.Fetch(server.Url("/slow.swf"), answer("slow"));
  ASSERT_TRUE(PumpUntil([&] { return log.size() == 1; }));
  EXPECT_EQ(log, std::vector<std::string>{"slow dropped"});
}

}  // namespace
}  // namespace tavimo
