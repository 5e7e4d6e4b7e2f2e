#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <map>

#include "download/HttpGet.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using namespace std::chrono_literals;
using test::Conn;
using test::TestServer;
using Seen = test::HttpRequestSeen;

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xff);
  return s;
}

// Records what a getter reports.
struct Events {
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;  // (TotalSize, Readed)
  int done = 0, errors = 0;
  std::string doneFile;
  std::int64_t doneSize = -1;

  void Attach(THTTPGet& g) {
    g.OnProgress = [this](THTTPGetThread*, std::int64_t total, std::int64_t readed) {
      progress.emplace_back(total, readed);
    };
    g.OnDoneFile = [this](THTTPGet*, const std::string& f, std::int64_t size) {
      ++done;
      doneFile = f;
      doneSize = size;
    };
    g.OnError = [this](THTTPGet*) { ++errors; };
  }
};

class HttpGetTest : public ::testing::Test {
 protected:
  void Fetch(const std::string& url, bool binary = false) {
    getter_.URL = url;
    getter_.FileName = target_;
    getter_.BinaryData = binary;
    getter_.WaitThread = true;
    getter_.StallTimeout = 2;
    events_.Attach(getter_);
    getter_.GetFile();
  }

  test::TempHome home_;
  std::string target_ = home_ / "movie.swf";
  THTTPGet getter_;
  Events events_;
};

TEST_F(HttpGetTest, SavesTheBodyWithOneReportPerBlockAndTheDescribedRequest) {
  const std::string body = Bytes(5000);
  TestServer server(TestServer::Files({{"/dir/movie.swf", TestServer::Response(200, body)}}));
  Fetch(server.Url("/dir/movie.swf"));
  EXPECT_EQ(events_.done, 1);
  EXPECT_EQ(events_.errors, 0);
  EXPECT_EQ(events_.doneFile, target_);
  EXPECT_EQ(events_.doneSize, 5000);
  EXPECT_EQ(test::ReadFile(target_), body);
  ASSERT_EQ(events_.progress.size(), 5u);
  EXPECT_EQ(events_.progress[0], std::make_pair(std::int64_t(5000), std::int64_t(1025)));
  EXPECT_EQ(events_.progress[4], std::make_pair(std::int64_t(5000), std::int64_t(5000)));
  EXPECT_FALSE(getter_.Busy());
  EXPECT_TRUE(getter_.LastOutcome());

  ASSERT_EQ(server.Requests().size(), 1u);
  const Seen r = server.Requests()[0];
  EXPECT_EQ(r.raw.substr(0, r.raw.find("\r\n")), "GET /dir/movie.swf HTTP/1.0");
  EXPECT_EQ(r.Header("User-Agent"), "Kelvane HTTPGet");
  EXPECT_EQ(r.Header("Accept"), "*/*");
  EXPECT_EQ(r.Header("Pragma"), "no-cache");  // UseCache false asks for a fresh copy
}

TEST_F(HttpGetTest, BlockBoundariesAndTheEmptyBody) {
  for (size_t size : {size_t(1025), size_t(1026), size_t(0)}) {
    TestServer server(TestServer::Files({{"/m.swf", TestServer::Response(200, Bytes(size))}}));
    events_ = Events{};
    getter_.UseCache = true;
    Fetch(server.Url("/m.swf"));
    EXPECT_EQ(events_.done, 1) << size;
    EXPECT_EQ(events_.doneSize, std::int64_t(size));
    std::vector<std::int64_t> readed;
    for (auto& p : events_.progress) readed.push_back(p.second);
    const std::map<size_t, std::vector<std::int64_t>> expected{
        {1025, {1025}}, {1026, {1025, 1026}}, {0, {}}};
    EXPECT_EQ(readed, expected.at(size));
    EXPECT_EQ(server.Requests()[0].Header("Pragma"), "");
  }
}

TEST_F(HttpGetTest, ShortBodyIsAnErrorButTheBytesStay) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 3000\r\n\r\n" + Bytes(2000));
  });
  Fetch(server.Url("/m.swf"));
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(events_.done, 0);
  EXPECT_EQ(test::ReadFile(target_), Bytes(2000));
  EXPECT_FALSE(getter_.LastOutcome());
}

TEST_F(HttpGetTest, NoContentLengthDependsOnBinaryData) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n\r\n" + Bytes(3000));
  });
  Fetch(server.Url("/m.swf"), /*binary=*/false);
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(test::ReadFile(target_), Bytes(3000));  // written, yet not counted as done
  for (auto& p : events_.progress) EXPECT_EQ(p.first, 0);

  events_ = Events{};
  std::remove(target_.c_str());
  Fetch(server.Url("/m.swf"), /*binary=*/true);
  EXPECT_EQ(events_.errors, 1);
  EXPECT_TRUE(events_.progress.empty());
  EXPECT_FALSE(test::FileExists(target_));
}

TEST_F(HttpGetTest, UnreachableServerIsAnErrorAndWritesNoFile) {
  int port;
  { TestServer gone([](Conn&, const Seen&) {}); port = gone.Port(); }
  Fetch("http://127.0.0.1:" + std::to_string(port) + "/m.swf");
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(events_.done, 0);
  EXPECT_FALSE(test::FileExists(target_));
}

TEST_F(HttpGetTest, UrlFormsReachTheRightServerAndPath) {
  TestServer server(TestServer::Files({{"/", TestServer::Response(200, "root")},
                                               {"/A/B.SWF", TestServer::Response(200, "caps")}}));
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  Fetch("HTTP://" + hostPort + "/A/B.SWF");
  EXPECT_EQ(test::ReadFile(target_), "caps");
  Fetch(hostPort + "/A/B.SWF");  // no scheme at all
  EXPECT_EQ(test::ReadFile(target_), "caps");
  Fetch("http://" + hostPort);  // nothing after the host: its root
  EXPECT_EQ(test::ReadFile(target_), "root");
  EXPECT_EQ(events_.done, 3);
  EXPECT_EQ(server.Requests()[2].target, "/");

  const HttpGetTarget t = SplitHttpGetUrl("HttpS://Host:8443/a/b?c=/d");
  EXPECT_EQ(t.scheme, "https");
  EXPECT_EQ(t.host, "Host:8443");
  EXPECT_EQ(t.path, "/a/b?c=/d");
}

TEST_F(HttpGetTest, PostQuerySendsAForm) {
  TestServer server(TestServer::Files({{"/form", TestServer::Response(200, "ok")}}));
  getter_.PostQuery = "a=1&b=two";
  getter_.Referer = "http://example.test/page";
  Fetch(server.Url("/form"));
  const Seen r = server.Requests().at(0);
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.Header("Referer"), "http://example.test/page");
  EXPECT_EQ(r.body, "a=1&b=two");
}

TEST_F(HttpGetTest, AbortMidDownloadKeepsThePartialFileAndReportsAnError) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + Bytes(4000));
    c.Stall(10s);
  });
  getter_.OnProgress = nullptr;
  getter_.URL = server.Url("/m.swf");
  getter_.FileName = target_;
  getter_.WaitThread = true;
  events_.Attach(getter_);
  getter_.OnProgress = [this](THTTPGetThread*, std::int64_t, std::int64_t readed) {
    if (readed >= 2050) getter_.Abort();
  };
  QElapsedTimer timer;
  timer.start();
  getter_.GetFile();
  EXPECT_LT(timer.elapsed(), 5000);
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(events_.done, 0);
  const std::string kept = test::ReadFile(target_);
  EXPECT_GE(kept.size(), 2050u);
  EXPECT_EQ(kept, Bytes(4000).substr(0, kept.size()));
}

TEST_F(HttpGetTest, StalledServerEndsWithinTheStallLimit) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nab");
    c.Stall(20s);
  });
  QElapsedTimer timer;
  timer.start();
  Fetch(server.Url("/m.swf"));
  EXPECT_LT(timer.elapsed(), 6000);
  EXPECT_EQ(events_.errors, 1);
}

TEST_F(HttpGetTest, GetFileWhileBusyIsIgnored) {
  TestServer server([](Conn& c, const Seen&) {
    c.Stall(300ms);
    c.Send(TestServer::Response(200, "first"));
  });
  events_.Attach(getter_);
  getter_.URL = server.Url("/one");
  getter_.FileName = target_;
  getter_.WaitThread = false;
  getter_.GetFile();
  EXPECT_TRUE(getter_.Busy());
  getter_.URL = server.Url("/two");
  getter_.FileName = home_ / "other.swf";
  getter_.GetFile();  // ignored, no event
  QElapsedTimer timer;
  timer.start();
  while (getter_.Busy() && timer.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(events_.done, 1);
  EXPECT_EQ(events_.errors, 0);
  EXPECT_EQ(test::ReadFile(target_), "first");
  EXPECT_FALSE(test::FileExists(home_ / "other.swf"));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/one");
}

TEST_F(HttpGetTest, DestroyingTheGetterMidDownloadRaisesNothing) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + Bytes(3000));
    c.Stall(10s);
  });
  Events events;
  {
    THTTPGet getter;
    events.Attach(getter);
    getter.URL = server.Url("/m.swf");
    getter.FileName = target_;
    getter.GetFile();
    QElapsedTimer timer;
    timer.start();
    while (events.progress.empty() && timer.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    ASSERT_FALSE(events.progress.empty());
  }
  // Let the cut-loose worker finish; nothing may reach the handlers of the dead getter.
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(events.done + events.errors, 0);
}

TEST_F(HttpGetTest, ChangingSettingsDuringADownloadDoesNotAffectIt) {
  TestServer server(TestServer::Files({{"/m.swf", TestServer::Response(200, Bytes(3000))}}));
  Fetch(server.Url("/m.swf"));
  events_ = Events{};
  getter_.WaitThread = true;
  events_.Attach(getter_);
  getter_.OnProgress = [this](THTTPGetThread* sender, std::int64_t, std::int64_t) {
    getter_.FileName = home_ / "elsewhere.swf";
    EXPECT_EQ(sender->FileName, target_);
  };
  getter_.FileName = target_;
  getter_.GetFile();
  EXPECT_EQ(events_.doneFile, target_);
  EXPECT_FALSE(test::FileExists(home_ / "elsewhere.swf"));
}

}  // namespace
}  // namespace tavimo
