#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cctype>
#include <filesystem>
#include <map>
#include <optional>

#include "download/HttpGet.h"
#include "compat/Registry.h"
#include "tests/support/FakeRegistrySource.h"
#include "tests/support/HttpAnswers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using namespace std::chrono_literals;
using test::Conn;
using test::TestServer;
using Seen = test::HttpRequestSeen;

// The plain files in a folder (sub-folders are the fixture's own).
std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  }
  return names;
}

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xff);
  return s;
}

// A registry view without a browser proxy.
FakeRegistrySource NoProxy() {
  FakeRegistrySource r;
  r.Set(kInternetSettingsKey, "ProxyEnable", 0);
  return r;
}

// Records what a getter reports.
struct Events {
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;  // (TotalSize, Readed)
  int done = 0, errors = 0;
  std::string reason;
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
    g.OnError = [this](THTTPGet*, const std::string& why) {
      ++errors;
      reason = why;
    };
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
  FakeRegistrySource registry_ = NoProxy();
  THTTPGet getter_{registry_};
  Events events_;
};

// Progress is coalesced: any rising run of block ends (multiples of 1025) that ends with the
// whole length, all against the named total; no progress at all for an empty body.
void ExpectBlockProgress(const std::vector<std::pair<std::int64_t, std::int64_t>>& progress,
                         std::int64_t total) {
  if (total == 0) {
    EXPECT_TRUE(progress.empty());
    return;
  }
  ASSERT_FALSE(progress.empty());
  std::int64_t last = 0;
  for (const auto& [named, readed] : progress) {
    EXPECT_EQ(named, total);
    EXPECT_GT(readed, last);
    EXPECT_TRUE(readed % 1025 == 0 || readed == total) << readed;
    last = readed;
  }
  EXPECT_EQ(last, total);
}

TEST_F(HttpGetTest, SavesTheBodyWithBlockProgressAndTheDescribedRequest) {
  const std::string body = Bytes(5000);
  TestServer server(TestServer::Files({{"/dir/movie.swf", TestServer::Response(200, body)}}));
  Fetch(server.Url("/dir/movie.swf"));
  EXPECT_EQ(events_.done, 1);
  EXPECT_EQ(events_.errors, 0);
  EXPECT_EQ(events_.doneFile, target_);
  EXPECT_EQ(events_.doneSize, 5000);
  EXPECT_EQ(test::ReadFile(target_), body);
  ExpectBlockProgress(events_.progress, 5000);
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
    ExpectBlockProgress(events_.progress, std::int64_t(size));
    EXPECT_EQ(server.Requests()[0].Header("Pragma"), "");
  }
}

// Answers only the getter refuses (a status that is no saved movie), and the count of bytes it
// names when a body ends short. Framing, chunks and codings are the shared table's (below).
// One answer of a server and what the getter must make of it. A file saved earlier under the
// target name stays unless the answer is a whole object; no temporary file is ever left.
struct Answer {
  const char* name;
  std::string bytes;
  enum End { kClose, kReset } end = kClose;
  bool saved;          // OnDoneFile, and the target holds `body`
  std::string body;    // what the target must hold when saved
  std::string reason;  // part of the OnError text when not saved
};

std::string Head(const std::string& status, const std::string& headers) {
  return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n";
}

const std::string kMovie = Bytes(3000);

std::vector<Answer> Answers() {
  return {
      {"NotFound", TestServer::Response(404, "<html>not here</html>"), Answer::kClose, false, "",
       "404 Not Found"},
      {"Unauthorized", Head("401 Unauthorized", "Content-Length: 4\r\n") + "nope", Answer::kClose, false, "",
       "401 Unauthorized"},
      {"ServerError", Head("500 Internal Server Error", "Content-Length: 2\r\n") + "no", Answer::kClose,
       false, "", "500"},
      {"NoContent", Head("204 No Content", ""), Answer::kClose, false, "", "204 No Content"},
      {"NotModified", Head("304 Not Modified", ""), Answer::kClose, false, "", "304"},
      {"RelocationWithoutLocation", test::Relocation(302, ""), Answer::kClose, false, "", "302"},
      {"ShorterThanItsLength", test::LengthLie(kMovie, 4000), Answer::kClose, false, "", "3000"},
      // A part is not the movie, even when it is all the server has.
      {"PartialContent",
       Head("206 Partial Content", "Content-Range: bytes 0-2999/9000\r\nContent-Length: 3000\r\n") + kMovie,
       Answer::kClose, false, "", "206 Partial Content"},
  };
}

class HttpGetAnswerTest : public HttpGetTest, public ::testing::WithParamInterface<Answer> {};

TEST_P(HttpGetAnswerTest, OnlyAWholeObjectReplacesTheTarget) {
  const Answer& a = GetParam();
  TestServer server([&a](Conn& c, int) {
    if (c.ReadHead().empty()) return;
    c.Send(a.bytes);
    if (a.end == Answer::kReset) c.Reset();
    else c.Close();
  });
  test::WriteFile(target_, "the movie saved last week");
  Fetch(server.Url("/m.swf"));
  EXPECT_EQ(events_.done, a.saved ? 1 : 0);
  EXPECT_EQ(events_.errors, a.saved ? 0 : 1);
  EXPECT_EQ(test::ReadFile(target_), a.saved ? a.body : "the movie saved last week");
  if (a.saved) {
    EXPECT_EQ(events_.doneSize, std::int64_t(a.body.size()));
  } else {
    EXPECT_NE(events_.reason.find(a.reason), std::string::npos) << events_.reason;
    EXPECT_EQ(getter_.LastError(), events_.reason);
  }
  EXPECT_EQ(Files(home_.Path()).size(), 1u) << "a temporary file was left";
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const Answer& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Answers, HttpGetAnswerTest, ::testing::ValuesIn(Answers()),
                         [](const auto& p) { return std::string(p.param.name); });

// The shared table of hostile answers over a real socket: the same verdict as every other
// reader. libcurl carries the bytes and may find a cut connection before the reader does.
class HttpGetTableTest : public HttpGetTest, public ::testing::WithParamInterface<test::HttpAnswer> {};

TEST_P(HttpGetTableTest, SavesOnlyWholeBodies) {
  const test::HttpAnswer& a = GetParam();
  TestServer server([&a](Conn& c, int) {
    if (c.ReadHead().empty()) return;
    c.Send(a.bytes);
    if (a.end == test::HttpAnswer::End::Reset) {
      c.Sleep(50);
      c.Reset();
    } else if (a.end == test::HttpAnswer::End::Hold) {
      c.WaitForClose(8000);
    } else {
      c.Close();
    }
  });
  test::WriteFile(target_, "the movie saved last week");
  Fetch(server.Url("/m.swf"));
  EXPECT_EQ(events_.done, a.whole ? 1 : 0) << events_.reason;
  EXPECT_EQ(test::ReadFile(target_), a.whole ? a.body : "the movie saved last week");
  if (a.whole) {
    EXPECT_EQ(events_.doneSize, std::int64_t(a.body.size()));
  } else {
    EXPECT_EQ(events_.errors, 1);
    // libcurl's own words for the same fault ("Invalid Content-Length") count too.
    const auto lower = [](std::string t) {
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return t;
    };
    const bool transport = events_.reason.find("broke off") != std::string::npos ||
                           events_.reason.find("inside the answer's head") != std::string::npos;
    EXPECT_TRUE(lower(events_.reason).find(lower(a.reason)) != std::string::npos || transport)
        << events_.reason;
  }
  EXPECT_EQ(Files(home_.Path()).size(), 1u) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Table, HttpGetTableTest, ::testing::ValuesIn(test::HttpAnswers()),
                         [](const auto& p) { return p.param.name; });

// Over TLS the end of a body without a length is only clean with close_notify; a bare FIN may
// be an attacker's cut. With a length or chunks the body's own end counts.
TEST_F(HttpGetTest, OverTlsABodyWithoutLengthNeedsAnOrderlyEnd) {
  test::WriteFile(home_ / "ca.pem", test::Pki().caCertPem);
  getter_.ExtraCaFile = home_ / "ca.pem";
  const struct {
    const char* name;
    std::string answer;
    bool orderly, saved;
  } cases[] = {
      {"no length, close_notify", Head("200 OK", "") + kMovie, true, true},
      {"no length, cut", Head("200 OK", "") + kMovie, false, false},
      {"length, cut after the body", TestServer::Response(200, kMovie), false, true},
      {"chunked, cut after the last chunk", test::Chunked(kMovie, 1000), false, true},
  };
  for (const auto& c : cases) {
    TestServer server(
        [&c](Conn& conn, const Seen&) {
          conn.Send(c.answer);
          if (c.orderly) conn.Close();
          else conn.CutTls();
        },
        test::Pki().goodCertPem, test::Pki().goodKeyPem);
    events_ = Events{};
    std::remove(target_.c_str());
    Fetch(server.Url("/m.swf"));
    EXPECT_EQ(events_.done, c.saved ? 1 : 0) << c.name << ": " << events_.reason;
    EXPECT_EQ(test::FileExists(target_), c.saved) << c.name;
    if (!c.saved) {
      EXPECT_NE(events_.reason.find("close_notify"), std::string::npos) << events_.reason;
    }
  }
}

// A clean close inside the status line or the headers leaves nothing to save, over plain and
// TLS alike (where the close is TLS's own, close_notify).
TEST_F(HttpGetTest, AConnectionEndingInsideTheHeadIsAFailure) {
  test::WriteFile(home_ / "ca.pem", test::Pki().caCertPem);
  getter_.ExtraCaFile = home_ / "ca.pem";
  const std::string cuts[] = {
      "HTTP/1.0 20",
      "HTTP/1.0 200 OK",
      "HTTP/1.0 200 OK\r\nContent-Type: application/x-shock",
      "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n",
      "HTTP/1.0 100 Continue\r\n\r\nHTTP/1.0 200 OK\r\n",
  };
  for (const bool tls : {false, true}) {
    for (const std::string& cut : cuts) {
      SCOPED_TRACE((tls ? "https: " : "http: ") + cut);
      const auto script = [&cut](Conn& c, const Seen&) {
        c.Send(cut);
        c.Close();
      };
      std::optional<TestServer> server;
      if (tls) server.emplace(script, test::Pki().goodCertPem, test::Pki().goodKeyPem);
      else server.emplace(script);
      events_ = Events{};
      test::WriteFile(target_, "the movie saved last week");
      Fetch(server->Url("/m.swf"));
      EXPECT_EQ(events_.done, 0);
      EXPECT_EQ(events_.errors, 1);
      EXPECT_FALSE(events_.reason.empty());
      EXPECT_EQ(test::ReadFile(target_), "the movie saved last week");
      EXPECT_EQ(Files(home_.Path()).size(), 2u) << "a temporary file was left";  // the movie, ca.pem
    }
  }
}

// A head past the bound fails the download, as it fails a page: a server cannot make the
// getter keep headers without end.
TEST_F(HttpGetTest, AHeadPastItsBoundIsAFailure) {
  TestServer server([](Conn& c, const Seen&) { c.HeaderFlood(1 << 20); });
  getter_.MaxHeaderBytes = 4096;
  test::WriteFile(target_, "earlier");
  Fetch(server.Url("/m.swf"));
  EXPECT_EQ(events_.errors, 1);
  EXPECT_NE(events_.reason.find("answer header larger than 4096 bytes"), std::string::npos) << events_.reason;
  EXPECT_EQ(test::ReadFile(target_), "earlier");
}

// Past the movie limit a download fails with the reason and leaves the earlier file, whether the
// server names the length, sends chunks or compresses a small body into a huge one.
TEST_F(HttpGetTest, TheMovieLimitBoundsTheSavedBody) {
  getter_.MaxMovieBytes = 10000;
  const std::string zeros(200000, '\0');
  const struct {
    const char* name;
    std::string answer;
    bool saved;
  } cases[] = {
      {"exactly the limit", TestServer::Response(200, Bytes(10000)), true},
      {"one byte more, named", TestServer::Response(200, Bytes(10001)), false},
      {"more, without a length", Head("200 OK", "") + Bytes(20000), false},
      {"more, chunked", test::Chunked(Bytes(20000), 1000), false},
      {"gzip of a small body", test::Encoded(Bytes(9000), "gzip"), true},
      {"gzip that inflates past it", test::Encoded(zeros, "gzip"), false},
      {"deflate that inflates past it", test::Encoded(zeros, "deflate"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server([&c](Conn& conn, const Seen&) { conn.Send(c.answer); });
    events_ = Events{};
    test::WriteFile(target_, "earlier");
    Fetch(server.Url("/m.swf"));
    EXPECT_EQ(events_.done, c.saved ? 1 : 0) << events_.reason;
    if (!c.saved) {
      EXPECT_NE(events_.reason.find("larger than 10000 bytes"), std::string::npos) << events_.reason;
      EXPECT_EQ(test::ReadFile(target_), "earlier");
    }
    EXPECT_LE(std::filesystem::file_size(target_), 10000u);
    EXPECT_EQ(Files(home_.Path()).size(), 1u) << "a temporary file was left";
  }
}

TEST_F(HttpGetTest, AFailureWithoutAnEarlierFileLeavesNoFile) {
  TestServer server(TestServer::Files({}));  // 404 for everything
  Fetch(server.Url("/m.swf"));
  EXPECT_EQ(events_.errors, 1);
  EXPECT_FALSE(test::FileExists(target_));
  EXPECT_TRUE(Files(home_.Path()).empty());
}

TEST_F(HttpGetTest, BinaryDataStillWantsALength) {
  TestServer server([](Conn& c, const Seen&) { c.Send(Head("200 OK", "") + Bytes(3000)); });
  Fetch(server.Url("/m.swf"), /*binary=*/true);
  EXPECT_EQ(events_.errors, 1);
  EXPECT_TRUE(events_.progress.empty());
  EXPECT_FALSE(test::FileExists(target_));
}

// The object name goes out %XX-encoded where it holds bytes a request line cannot carry, and a
// user:pass@ part of the URL never becomes credentials.
TEST_F(HttpGetTest, PathBytesAreEncodedAndUrlCredentialsIgnored) {
  TestServer server([](Conn& c, const Seen&) { c.Send(TestServer::Response(200, "movie")); });
  const std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  const struct {
    std::string url, target;
  } cases[] = {
      {"http://" + hostPort + "/my movies/\xC3\xBC\x01.swf?a=b c", "/my%20movies/%C3%BC%01.swf?a=b%20c"},
      {"http://" + hostPort + "/Caf\xE9.swf", "/Caf%E9.swf"},
      {"http://joe:secret@" + hostPort + "/m.swf", "/m.swf"},
  };
  for (const auto& c : cases) {
    events_ = Events{};
    Fetch(c.url);
    EXPECT_EQ(events_.done, 1) << c.url << ": " << events_.reason;
  }
  const auto seen = server.Requests();
  ASSERT_EQ(seen.size(), std::size(cases));
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].target, cases[i].target);
    EXPECT_EQ(seen[i].Header("Authorization"), "");
  }
  EXPECT_EQ(SplitHttpGetUrl("http://a:b@host:81/x@y").host, "host:81");
}

TEST_F(HttpGetTest, UnreachableServerIsAnErrorAndWritesNoFile) {
  int port;
  {
    TestServer gone([](Conn&, const Seen&) {});
    port = gone.Port();
  }
  Fetch("http://127.0.0.1:" + std::to_string(port) + "/m.swf");
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(events_.done, 0);
  EXPECT_FALSE(test::FileExists(target_));
}

TEST_F(HttpGetTest, UrlFormsReachTheRightServerAndPath) {
  TestServer server(TestServer::Files(
      {{"/", TestServer::Response(200, "root")}, {"/A/B.SWF", TestServer::Response(200, "caps")}}));
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

TEST_F(HttpGetTest, AbortMidDownloadKeepsTheEarlierFileAndReportsAnError) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + Bytes(4000));
    c.Stall(10s);
  });
  test::WriteFile(target_, "earlier");
  getter_.URL = server.Url("/m.swf");
  getter_.FileName = target_;
  getter_.WaitThread = true;
  events_.Attach(getter_);
  getter_.OnProgress = [this](THTTPGetThread*, std::int64_t, std::int64_t readed) {
    if (readed >= 2050) getter_.Abort();
  };
  getter_.GetFile();
  EXPECT_EQ(events_.errors, 1);
  EXPECT_EQ(events_.done, 0);
  EXPECT_EQ(test::ReadFile(target_), "earlier");
  EXPECT_EQ(Files(home_.Path()).size(), 1u);
}

// A dialog opened while a download runs has its own event loop; the worker's reports must reach
// it there, or the download stands still until the dialog closes.
TEST_F(HttpGetTest, ANestedEventLoopDuringTheDownloadDoesNotStallIt) {
  TestServer server([](Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 6000\r\n\r\n" + Bytes(3000));
    c.Sleep(200);  // the "dialog" is open by now, waiting
    c.Send(Bytes(6000).substr(3000));
  });
  QEventLoop dialog;
  bool opened = false, endedInDialog = false;
  events_.Attach(getter_);
  getter_.OnProgress = [&](THTTPGetThread*, std::int64_t, std::int64_t) {
    if (opened) return;
    opened = true;
    // Opened from an ordinary event, as a message box would be.
    QTimer::singleShot(0, [&] {
      QTimer::singleShot(4000, &dialog, [&] { dialog.exit(1); });  // the test's own guard
      dialog.exec();
    });
  };
  getter_.OnDoneFile = [&](THTTPGet*, const std::string&, std::int64_t) {
    ++events_.done;
    endedInDialog = dialog.isRunning();
    dialog.exit(0);
  };
  getter_.URL = server.Url("/m.swf");
  getter_.FileName = target_;
  getter_.WaitThread = true;
  getter_.GetFile();
  EXPECT_TRUE(opened);
  EXPECT_EQ(events_.done, 1);
  EXPECT_TRUE(endedInDialog) << "the download waited for the dialog to close";
  EXPECT_EQ(test::ReadFile(target_), Bytes(6000));
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
    const FakeRegistrySource registry = NoProxy();
    THTTPGet getter(registry);
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

// The proxy is the one of the registry view the getter was given, never the environment's:
// http_proxy names a decoy that must see nothing.
TEST_F(HttpGetTest, TakesTheProxyOfItsRegistryViewNotOfTheEnvironment) {
  const std::string body = Bytes(2000);
  TestServer proxy(TestServer::Files({{"http://movies.example/m.swf", TestServer::Response(200, body)}}));
  TestServer origin(TestServer::Files({{"/m.swf", TestServer::Response(200, body)}}));
  TestServer decoy(TestServer::Files({}));
  test::ScopedEnv env;
  env.Set("http_proxy", "http://127.0.0.1:" + std::to_string(decoy.Port()) + "/");
  env.Unset("no_proxy");
  env.Unset("NO_PROXY");

  enum class Via { Proxy, Origin, Nothing };
  struct Row {
    const char* name;
    std::function<void(FakeRegistrySource&)> setUp;
    std::string url;
    Via via;
  };
  const Row rows[] = {
      {"registry names the proxy",
       [&](FakeRegistrySource& r) {
         r.Set(kInternetSettingsKey, "ProxyEnable", 1);
         r.Set(kInternetSettingsKey, "ProxyServer", "127.0.0.1:" + std::to_string(proxy.Port()));
       },
       "http://movies.example/m.swf", Via::Proxy},
      {"registry has the proxy off",
       [](FakeRegistrySource& r) { r.Set(kInternetSettingsKey, "ProxyEnable", 0); }, origin.Url("/m.swf"),
       Via::Origin},
      {"registry value of the wrong type",
       [](FakeRegistrySource& r) { r.Set(kInternetSettingsKey, "ProxyEnable", RegBinary{}); },
       origin.Url("/m.swf"), Via::Nothing},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t before[] = {proxy.Requests().size(), origin.Requests().size()};
    FakeRegistrySource registry;
    row.setUp(registry);
    THTTPGet getter(registry);
    Events events;
    events.Attach(getter);
    getter.URL = row.url;
    getter.FileName = target_;
    getter.WaitThread = true;
    getter.StallTimeout = 2;
    std::filesystem::remove(target_);
    getter.GetFile();

    EXPECT_TRUE(decoy.Requests().empty());
    EXPECT_EQ(proxy.Requests().size() - before[0], row.via == Via::Proxy ? 1u : 0u);
    EXPECT_EQ(origin.Requests().size() - before[1], row.via == Via::Origin ? 1u : 0u);
    if (row.via == Via::Nothing) {
      EXPECT_EQ(events.errors, 1);
      EXPECT_NE(events.reason.find("proxy settings"), std::string::npos) << events.reason;
      EXPECT_FALSE(test::FileExists(target_));
    } else {
      EXPECT_EQ(events.done, 1) << events.reason;
      EXPECT_EQ(test::ReadFile(target_), body);
    }
    if (row.via == Via::Proxy) {
      EXPECT_EQ(proxy.Requests().back().target, "http://movies.example/m.swf");
    }
  }
}

}  // namespace
}  // namespace tavimo
