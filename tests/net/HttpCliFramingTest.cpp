// THttpCli against servers that frame, encode or end their answers badly: each answer either
// arrives whole (error 0, one OnDocEnd) or fails with a code and a reason, never both.
#include "net/HttpCli.h"
#include "net/SslLayer.h"
#include "base/Stream.h"
#include "compat/WinsockErrors.h"
#include "tests/net/EventLog.h"
#include "tests/net/TestCa.h"
#include "tests/support/TestServer.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <optional>

namespace tavimo::test {
namespace {

struct Case {
  const char* name;
  std::function<void(Conn&)> serve;
  std::uint16_t error;              // RequestDoneError and OnRequestDone's code
  std::optional<std::string> body;  // what was delivered (unchecked when a reset may eat it)
  std::string reasonHas = {};       // part of ReasonPhrase on failure
  int connections = 1;
};

// Sends `bytes` and keeps the connection until the client ends it: a client that waits for
// the server to close would run into its inactivity limit and fail.
std::function<void(Conn&)> SendAndHold(std::string bytes) {
  return [bytes](Conn& c) {
    c.Send(bytes);
    c.WaitForClose(8000);
  };
}
std::function<void(Conn&)> SendAndClose(std::string bytes) {
  return [bytes](Conn& c) { c.Send(bytes); };
}
std::function<void(Conn&)> SendAndReset(std::string bytes) {
  return [bytes](Conn& c) {
    c.Send(bytes);
    c.Sleep(50);
    c.Reset();
  };
}

const std::string kPage = "<html><embed src=\"movie.swf\"></html>";

std::string WithHead(const std::string& head, const std::string& body) {
  return "HTTP/1.1 200 OK\r\n" + head + "\r\n" + body;
}

const Case kCases[] = {
    {"ShorterThanLengthThenClose", SendAndClose(LengthLie("abc", 10)), httperrTruncated, "abc",
     "the body ended after 3 of 10 bytes"},
    {"ShorterThanLengthThenReset", SendAndReset(LengthLie("abc", 10)), WSAECONNRESET, std::nullopt,
     "the body was cut off"},
    {"LongerThanLengthKeepsLengthBytes", SendAndHold(LengthLie("abcdefghij", 4)), 0, "abcd"},
    {"ExactLengthOnAKeptConnection", SendAndHold(LengthLie(kPage, kPage.size())), 0, kPage},
    {"TwoDifferentLengths", SendAndHold(WithHead("Content-Length: 3\r\nContent-Length: 4\r\n", "abcd")),
     httperrBadAnswer, "", "two different Content-Length values"},
    {"SameLengthTwice", SendAndHold(WithHead("Content-Length: 4\r\nContent-Length: 4\r\n", "abcd")), 0,
     "abcd"},
    {"NoLengthCleanClose", SendAndClose(Response("200 OK", "", kPage)), 0, kPage},
    {"NoLengthReset", SendAndReset(Response("200 OK", "", kPage)), WSAECONNRESET, std::nullopt},
    {"Chunked", SendAndHold(Chunked(kPage, 7)), 0, kPage},
    {"ChunkedWithLengthToo",
     SendAndHold(WithHead("Content-Length: 3\r\nTransfer-Encoding: chunked\r\n",
                          "5;ext=1\r\nabcde\r\n0\r\nX-Trailer: t\r\n\r\n")),
     0, "abcde"},
    {"ChunkedCutBeforeTheLastChunk",
     SendAndClose(WithHead("Transfer-Encoding: chunked\r\n", "5\r\nabcde\r\n3\r\nab")), httperrTruncated,
     "abcdeab", "before its last chunk"},
    {"ChunkedBadSize", SendAndHold(WithHead("Transfer-Encoding: chunked\r\n", "zz\r\nabc\r\n0\r\n\r\n")),
     httperrBadAnswer, "", "bad chunk size"},
    {"UnaskedGzip", SendAndHold(Encoded(kPage, "gzip")), 0, kPage},
    {"UnaskedDeflate", SendAndHold(Encoded(kPage, "deflate")), 0, kPage},
    {"UnaskedBareDeflate", SendAndHold(Encoded(kPage, "bare-deflate")), 0, kPage},
    {"GzipAndChunked",
     SendAndHold(
         WithHead("Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n",
                  Chunked(Gzip(kPage), 5)
                      .substr(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n").size()))),
     0, kPage},
    {"GzipCutShort",
     SendAndClose(Response("200 OK", "Content-Encoding: gzip\r\n", Gzip(kPage).substr(0, 20))),
     httperrTruncated, std::nullopt, "compressed body ended early"},
    {"GzipThatIsNot",
     SendAndHold(Response("200 OK", "Content-Encoding: gzip\r\nContent-Length: 12\r\n", "plain text!!")),
     httperrBadAnswer, "", "compressed body is damaged"},
    {"UnknownEncoding", SendAndHold(Response("200 OK", "Content-Encoding: br\r\n", "xyz")), httperrBadAnswer,
     "", "unsupported content encoding: br"},
    {"GarbageStatusLine", SendAndHold(GarbageStatus()), httperrBadAnswer, "",
     "not an HTTP answer: \"SSH-2.0"},
    {"OneInterimAnswer", SendAndClose(WithInterim(Response("200 OK", "", kPage))), 0, kPage},
    {"ThreeInterimAnswers", SendAndClose(WithInterim(Response("200 OK", "", kPage), 3, 102)), 0, kPage},
    {"RelocationWithoutLocation", SendAndHold(Relocation(302, "")), httperrBadAnswer, "",
     "relocation without a Location"},
    {"RelocationToFile", SendAndHold(Relocation(302, "file:///etc/passwd")), httperrBadRelocation, "",
     "unsupported scheme: file"},
    {"RelocationToData", SendAndHold(Relocation(301, "data:text/html,<embed src=x.swf>")),
     httperrBadRelocation, "", "unsupported scheme: data"},
    {"RelocationToJavascript", SendAndHold(Relocation(302, "javascript:alert(1)")), httperrBadRelocation, "",
     "unsupported scheme: javascript"},
    {"RelocationToFtp", SendAndHold(Relocation(302, "ftp://127.0.0.1/x.swf")), httperrBadRelocation, "",
     "unsupported scheme: ftp"},
    {"NoContentOnAKeptConnection", SendAndHold("HTTP/1.1 204 No Content\r\n\r\n"), 0, ""},
    {"HeaderFlood", [](Conn& c) { c.HeaderFlood(1 << 20); }, httperrTooLarge, "", "larger than 4096 bytes"},
};

class HttpCliFraming : public ::testing::TestWithParam<Case> {};

TEST_P(HttpCliFraming, WholeOrFailed) {
  const Case& k = GetParam();
  TestServer server([&k](Conn& c, const HttpRequestSeen&) { k.serve(c); });
  THttpCli cli;
  EventLog log(cli);
  cli.InactivityTimeout = 3;
  cli.MaxHeaderBytes = 4096;
  cli.URL = server.Url("/page.htm");
  cli.Get();
  EXPECT_EQ(log.doneError, k.error) << cli.ReasonPhrase();
  EXPECT_EQ(cli.RequestDoneError(), k.error);
  if (k.body) {
    EXPECT_EQ(log.body, *k.body);
  }
  EXPECT_EQ(cli.RcvdCount(), static_cast<std::int64_t>(log.body.size()));
  EXPECT_EQ(log.Count("DocEnd"), k.error == 0 && !log.body.empty() ? 1 : 0);
  if (!k.reasonHas.empty()) {
    EXPECT_NE(cli.ReasonPhrase().find(k.reasonHas), std::string::npos) << cli.ReasonPhrase();
  }
  EXPECT_EQ(server.Connections(), k.connections);
  EXPECT_EQ(cli.State(), httpReady);
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
