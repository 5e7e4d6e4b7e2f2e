#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "detect/HttpMovieFetcher.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;

TEST(HttpMovieFetcher, AnswersEachRequestOnceInOrderFromTheEventLoop) {
  TestServer server(TestServer::Files({{"/a.swf", TestServer::Response(200, "FWS-a")},
                                               {"/b.swf", TestServer::Response(200, "CWS-b")}}));
  int port;
  { TestServer gone([](test::Conn&, const test::HttpRequestSeen&) {}); port = gone.Port(); }
  THttpMovieFetcher fetcher;
  fetcher.Client().InactivityTimeout = 3;
  std::vector<std::pair<bool, std::string>> answers;
  auto record = [&](bool ok, std::string bytes) { answers.emplace_back(ok, std::move(bytes)); };
  fetcher.Fetch(server.Url("/a.swf"), record);
  fetcher.Fetch(server.Url("/missing.swf"), record);
  fetcher.Fetch("http://127.0.0.1:" + std::to_string(port) + "/x.swf", record);
  fetcher.Fetch("no host at all", record);
  fetcher.Fetch(server.Url("/b.swf"), record);
  EXPECT_TRUE(answers.empty());  // never inside the caller
  QElapsedTimer t;
  t.start();
  while (answers.size() < 5 && t.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0], std::make_pair(true, std::string("FWS-a")));
  EXPECT_EQ(answers[1], std::make_pair(false, std::string()));  // a 404 page is no movie
  EXPECT_FALSE(answers[2].first);
  EXPECT_FALSE(answers[3].first);
  EXPECT_EQ(answers[4], std::make_pair(true, std::string("CWS-b")));
}

}  // namespace
}  // namespace tavimo
