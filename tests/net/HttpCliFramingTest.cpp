// THttpCli against answers only a page client meets: relocations it refuses, a head flood,
// an answer without body on a kept connection. Framing, chunks and codings are the shared
// table's (HttpCliAnswersTest.cpp).
#include "net/SslLayer.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"
#include "tests/net/ClientFixture.h"
#include "tests/net/TestCa.h"

#include <QTimer>

namespace tavimo::test {
namespace {

struct Case {
  const char* name;
  std::function<void(Conn&)> serve;
  std::uint16_t error;  // RequestDoneError and OnRequestDone's code
  std::string reasonHas = {};
};

// Sends `bytes` and keeps the connection until the client ends it: a client that waits for
// the server to close would run into its inactivity limit and fail.
std::function<void(Conn&)> SendAndHold(std::string bytes) {
  return [bytes](Conn& c) {
    c.Send(bytes);
    c.WaitForClose(8000);
  };
}

const std::string kPage = "<html><embed src=\"movie.swf\"></html>";

const Case kCases[] = {
    {"GarbageStatusLine", SendAndHold(GarbageStatus()), httperrBadAnswer, "not an HTTP answer: \"SSH-2.0"},
    {"RelocationWithoutLocation", SendAndHold(Relocation(302, "")), httperrBadAnswer,
     "relocation without a Location"},
    {"RelocationToFile", SendAndHold(Relocation(302, "file:///etc/passwd")), httperrBadRelocation,
     "unsupported scheme: file"},
    {"RelocationToData", SendAndHold(Relocation(301, "data:text/html,<embed src=x.swf>")),
     httperrBadRelocation, "unsupported scheme: data"},
    {"RelocationToJavascript", SendAndHold(Relocation(302, "javascript:alert(1)")), httperrBadRelocation,
     "unsupported scheme: javascript"},
    {"RelocationToFtp", SendAndHold(Relocation(302, "ftp://127.0.0.1/x.swf")), httperrBadRelocation,
     "unsupported scheme: ftp"},
    {"NoContentOnAKeptConnection", SendAndHold("HTTP/1.1 204 No Content\r\n\r\n"), 0},
    {"SwitchingProtocolsIsTheLastAnswer", SendAndHold("HTTP/1.1 101 Switching\r\nUpgrade: x\r\n\r\nnot http"),
     0},
    {"HeaderFlood", [](Conn& c) { c.HeaderFlood(1 << 20); }, httperrTooLarge, "larger than 4096 bytes"},
};

class HttpCliFraming : public ClientFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(HttpCliFraming, EndsWithTheCodeAndReason) {
  const Case& k = GetParam();
  ServeAnswer(k.serve);
  Fetch("/page.htm", [](THttpCli& cli) {
    cli.InactivityTimeout = 3;
    cli.MaxHeaderBytes = 4096;
  });
  EXPECT_EQ(log_.doneError, k.error) << cli_.ReasonPhrase();
  EXPECT_EQ(cli_.RequestDoneError(), k.error);
  EXPECT_EQ(log_.body, "");
  EXPECT_EQ(log_.Count("DocEnd"), 0);
  EXPECT_NE(cli_.ReasonPhrase().find(k.reasonHas), std::string::npos) << cli_.ReasonPhrase();
  EXPECT_EQ(server_->Connections(), 1);
  EXPECT_EQ(cli_.State(), httpReady);
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Answers, HttpCliFraming, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Over TLS a body framed by the close is whole only when the server said close_notify.
TEST(HttpCliFramingTls, CloseNotifyDecidesABodyWithoutLength) {
  struct TlsCase {
    std::string answer;
    bool cut;
    std::uint16_t error;
  };
  const TlsCase cases[] = {
      {Response("200 OK", "", kPage), false, 0},
      {Response("200 OK", "", kPage), true, TLS_TRUNCATED},
      {Response("200 OK", "Content-Length: " + std::to_string(kPage.size()) + "\r\n", kPage), true, 0},
  };
  for (const TlsCase& k : cases) {
    TestServer server(
        [&k](Conn& c, const HttpRequestSeen&) {
          c.Send(k.answer);
          if (k.cut) c.CutTls();
        },
        Pki().goodCertPem, Pki().goodKeyPem);
    THttpCli cli(TestCa());
    EventLog log(cli);
    cli.InactivityTimeout = 3;
    cli.URL = server.Url("/page.htm");
    cli.Get();
    EXPECT_EQ(log.doneError, k.error) << "cut " << k.cut << ": " << cli.ReasonPhrase();
    EXPECT_EQ(log.body, kPage);
    EXPECT_EQ(log.Count("DocEnd"), k.error == 0 ? 1 : 0);
    if (k.error) {
      EXPECT_NE(cli.ReasonPhrase().find("close_notify"), std::string::npos);
    }
  }
}

// The whole-request limit holds whatever the server does inside the inactivity limit: a byte
// now and then, or a flood the client never catches up with.
TEST(HttpCliFramingLimits, RequestTimeoutEndsSlowAndEndlessAnswers) {
  const std::function<void(Conn&)> servers[] = {
      [](Conn& c) {
        c.Send("HTTP/1.0 200 OK\r\n\r\n");
        c.Trickle(std::string(1000, 't'), std::chrono::milliseconds(100));
      },
      [](Conn& c) {
        c.Send("HTTP/1.0 200 OK\r\n\r\n");
        const std::string block(64 * 1024, 'f');
        while (!c.Stopping() && c.Send(block)) {
        }
      },
      [](Conn& c) {
        c.Send("HTTP/1.0 200 OK\r\n");
        c.Trickle(std::string(1000, 'h'), std::chrono::milliseconds(100));
      },
  };
  for (const auto& serve : servers) {
    TestServer server([&serve](Conn& c, const HttpRequestSeen&) { serve(c); });
    THttpCli cli;
    EventLog log(cli);
    cli.InactivityTimeout = 30;
    cli.MaxHeaderBytes = 0;
    cli.RequestTimeout = 1;
    cli.OnDocData = nullptr;  // a flood is counted, not kept
    cli.URL = server.Url("/endless");
    cli.Get();
    EXPECT_EQ(log.doneError, WSAETIMEDOUT);
    EXPECT_EQ(cli.ReasonPhrase(), "Request took longer than 1 s");
    EXPECT_EQ(log.Count("DocEnd"), 0);
  }
}

// A server flooding faster than the client reads must not keep the event loop from its timers:
// here a timer is the only way the request can end.
TEST(HttpCliFramingLimits, FloodLeavesTimersRunning) {
  TestServer server([](Conn& c, const HttpRequestSeen&) {
    c.Send("HTTP/1.0 200 OK\r\n\r\n");
    const std::string block(64 * 1024, 'f');
    while (!c.Stopping() && c.Send(block)) {
    }
  });
  THttpCli cli;
  EventLog log(cli);
  cli.InactivityTimeout = 0;
  cli.RequestTimeout = 0;
  std::int64_t got = 0;
  cli.OnDocData = [&](THttpCli*, const char*, std::int32_t n) { got += n; };
  cli.URL = server.Url("/flood");
  bool fired = false;
  QTimer::singleShot(200, [&] {
    fired = true;
    cli.Abort();
  });
  cli.Get();
  EXPECT_TRUE(fired);
  EXPECT_EQ(log.doneError, httperrAborted);
  EXPECT_GT(got, 0);
}

}  // namespace
}  // namespace tavimo::test
