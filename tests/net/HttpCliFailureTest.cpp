// THttpCli against servers and hosts that fail: every case must end with Get returning, the
// component ready, exactly one OnRequestDone, and a status and reason that say what happened.
#include "net/HttpCli.h"
#include "base/Stream.h"
#include "tests/net/ClientFixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tavimo::test {
namespace {

// Answers the lookups of the names these tests use; everything else fails as unknown.
NetServices FakeResolver(int delayMs = 0) {
  NetServices services;
  services.Resolver = [delayMs](const std::string& name) {
    if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    HostAnswer a;
    if (name == "slow.test" || name == "here.test") a.addresses = {"127.0.0.1"};
    else a.error = 11001;
    return a;
  };
  return services;
}

// A listening socket whose queue is full: a connect to it stays pending.
struct BlackHole {
  BlackHole() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    for (int& f : fillers) {
      f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    usleep(50000);
  }
  ~BlackHole() {
    for (int f : fillers) ::close(f);
    ::close(fd);
  }
  int fd;
  int port;
  int fillers[3];
};

int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

void ExpectEndedOnce(const THttpCli& cli, const EventLog& log) {
  EXPECT_EQ(cli.State(), httpReady);
  EXPECT_EQ(log.requestDone, 1);
  EXPECT_EQ(log.Count("state ready"), 1);
  // A document that failed never ends as a document; one that worked ends once.
  EXPECT_EQ(log.Count("DocEnd"), log.doneError == 0 ? log.Count("DocBegin") : 0);
}

// The failures a served request meets, one client and one server each.
using HttpCliServed = ClientFixture;

TEST(HttpCliFailure, HostThatDoesNotResolve) {
  THttpCli cli(FakeResolver());
  EventLog log(cli);
  cli.URL = "http://nothere.test/page.htm";
  cli.Get();
  EXPECT_EQ(cli.StatusCode(), 404);
  EXPECT_EQ(cli.ReasonPhrase(), "can't resolve hostname to IP address");
  EXPECT_EQ(log.doneError, 11001);
  ExpectEndedOnce(cli, log);
}

TEST(HttpCliFailure, ConnectionRefused) {
  THttpCli cli;
  EventLog log(cli);
  cli.URL = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
  cli.Get();
  EXPECT_EQ(cli.StatusCode(), 404);
  // Refused at once ("can't connect: ...") or a moment later: both end the same way.
  const std::string reason = cli.ReasonPhrase();
  EXPECT_TRUE(reason == "Connection refused (Error #10061)" ||
              reason == "can't connect: Connection refused (Error #10061)")
      << reason;
  EXPECT_EQ(log.doneError, 10061);
  ExpectEndedOnce(cli, log);
}

TEST_F(HttpCliServed, ServerThatNeverAnswersTimesOut) {
  Serve([](Conn& c, int) {
    c.ReadHead();
    c.WaitForClose(5000);
  });
  const double seconds = Fetch("/", [](THttpCli& cli) { cli.InactivityTimeout = 1; });
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 2.0);
  EXPECT_EQ(cli_.StatusCode(), 404);
  EXPECT_EQ(cli_.ReasonPhrase(), "Connection timed out (Error #10060)");
  EXPECT_EQ(log_.doneError, 10060);
  ExpectEndedOnce(cli_, log_);
}

TEST_F(HttpCliServed, TricklingHeaderCannotHoldTheRequest) {
  ServeAnswer(
      [](Conn& c) { c.SendSlowly("HTTP/1.0 200 OK\r\nX-Slow: aaaaaaaaaaaaaaaaaaaa\r\n\r\nbody", 1000); });
  EXPECT_LT(Fetch("/", [](THttpCli& cli) { cli.InactivityTimeout = 2; }), 3.0);
  EXPECT_EQ(cli_.ReasonPhrase(), "Connection timed out (Error #10060)");
  EXPECT_EQ(log_.doneError, 10060);
  ExpectEndedOnce(cli_, log_);
}

TEST_F(HttpCliServed, SlowButSteadyBodyIsNotCutOff) {
  ServeAnswer([](Conn& c) {
    c.Send(Response("200 OK", "", ""));
    c.SendSlowly("abcdefg", 250);  // 1.75 s in all, never 1 s silent
    c.Close();
  });
  Fetch("/", [](THttpCli& cli) { cli.InactivityTimeout = 1; });
  EXPECT_EQ(log_.body, "abcdefg");
  EXPECT_EQ(log_.doneError, 0);
  EXPECT_EQ(cli_.StatusCode(), 200);
}

TEST_F(HttpCliServed, ResetInTheMiddleOfTheBody) {
  ServeAnswer([](Conn& c) {
    c.Send(Response("200 OK", "Content-Length: 100000\r\n", std::string(20000, 'r')));
    c.Sleep(100);
    c.Reset();
  });
  EXPECT_LT(Fetch("/big.swf"), 2.0);
  EXPECT_EQ(log_.body, std::string(20000, 'r'));
  EXPECT_EQ(cli_.StatusCode(), 200);
  EXPECT_EQ(log_.doneError, 10054);  // a cut-off document is not reported as a success
  ExpectEndedOnce(cli_, log_);
}

TEST_F(HttpCliServed, ServerClosingBeforeAnyByte) {
  ServeAnswer([](Conn& c) { c.Close(); });
  EXPECT_LT(Fetch("/"), 2.0);
  EXPECT_EQ(cli_.StatusCode(), 404);
  EXPECT_EQ(cli_.ReasonPhrase(), "Connection closed without an answer");
  EXPECT_EQ(log_.doneError, 10053);
  ExpectEndedOnce(cli_, log_);
}

TEST_F(HttpCliServed, HeaderLineLongerThanTheBufferEndsTheRequest) {
  ServeAnswer([](Conn& c) {
    c.Send("HTTP/1.0 200 OK\r\nX-Long: " + std::string(9 * 1024, 'L') + "\r\n\r\nbody");
    c.WaitForClose(3000);  // keeps the connection open: the client must end it
  });
  EXPECT_LT(Fetch("/"), 2.0);
  EXPECT_EQ(cli_.StatusCode(), 404);
  EXPECT_EQ(cli_.ReasonPhrase(), "HTTP line too long");
  EXPECT_EQ(log_.doneError, httperrLineTooLong);
  EXPECT_TRUE(log_.body.empty());
  ExpectEndedOnce(cli_, log_);
}

TEST(HttpCliFailure, AbortDuringLookupConnectAndBody) {
  {  // lookup
    THttpCli cli(FakeResolver(1500));
    EventLog log(cli);
    cli.URL = "http://slow.test/";
    After(100, [&cli] { cli.Abort(); });
    EXPECT_LT(TimedGet(cli), 1.0);
    EXPECT_EQ(cli.StatusCode(), 404);
    EXPECT_EQ(cli.ReasonPhrase(), "Connection aborted on request");
    EXPECT_EQ(log.doneError, 3);
    ExpectEndedOnce(cli, log);
    // The cancelled answer arrives later and is dropped: nothing more happens.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1600);
    while (std::chrono::steady_clock::now() < until) ProcessMessagesFor(50);
    EXPECT_EQ(log.requestDone, 1);
    EXPECT_EQ(cli.State(), httpReady);
  }
  {  // connect
    BlackHole hole;
    THttpCli cli;
    EventLog log(cli);
    cli.URL = "http://127.0.0.1:" + std::to_string(hole.port) + "/";
    After(300, [&cli] {
      EXPECT_EQ(cli.CtrlSocket().State(), wsConnecting);
      cli.Abort();
    });
    EXPECT_LT(TimedGet(cli), 1.5);
    EXPECT_EQ(log.doneError, 3);
    ExpectEndedOnce(cli, log);
  }
  {  // body
    TestServer server([](Conn& c, int) {
      c.ReadHead();
      c.Send(Response("200 OK", "", "part"));
      c.WaitForClose(3000);
    });
    THttpCli cli;
    EventLog log(cli);
    cli.OnDocData = [&log](THttpCli* s, const char*, std::int32_t) {
      log.events.push_back("DocData");
      s->Abort();
    };
    cli.URL = server.Url("/");
    EXPECT_LT(TimedGet(cli), 1.5);
    EXPECT_EQ(log.doneError, 3);
    EXPECT_EQ(cli.ReasonPhrase(), "Connection aborted on request");
    ExpectEndedOnce(cli, log);
  }
}

TEST(HttpCliFailure, ConnectThatNeverCompletesTimesOut) {
  BlackHole hole;
  THttpCli cli;
  EventLog log(cli);
  cli.InactivityTimeout = 1;
  cli.URL = "http://127.0.0.1:" + std::to_string(hole.port) + "/";
  EXPECT_LT(TimedGet(cli), 2.0);
  EXPECT_EQ(log.doneError, 10060);
  ExpectEndedOnce(cli, log);
}

TEST_F(HttpCliServed, BusyComponentRaisesCodeOne) {
  ServeAnswer([](Conn& c) { c.Send(Response("200 OK", "", "x")); });
  int code = 0;
  std::string text;
  Fetch("/", [&](THttpCli& cli) {
    cli.OnHeaderData = [&](THttpCli* s) {
      if (code) return;
      try {
        s->Get();
      } catch (const EHttpException& e) {
        code = e.ErrorCode;
        text = e.what();
      }
    };
  });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(text, "HTTP component is busy");
  EXPECT_EQ(cli_.StatusCode(), 200);  // the running request went on
}

TEST(HttpCliFailure, ExceptionWhileStartingLeavesTheComponentReady) {
  THttpCli cli;
  EventLog log(cli);
  cli.URL = "http:///nohost.htm";
  EXPECT_THROW(cli.Get(), ESocketException);
  EXPECT_EQ(cli.State(), httpReady);
  EXPECT_EQ(cli.StatusCode(), 404);
  EXPECT_EQ(cli.ReasonPhrase(), "DNS lookup: invalid host name.");
  ProcessMessagesFor(20);
  EXPECT_EQ(log.requestDone, 1);

  // And the next request works.
  TestServer server([](Conn& c, int) {
    c.ReadHead();
    c.Send(Response("200 OK", "", "next"));
    c.Close();
  });
  cli.URL = server.Url("/");
  cli.Get();
  EXPECT_EQ(cli.StatusCode(), 200);
  EXPECT_EQ(log.body, "next");
}

TEST_F(HttpCliServed, ExceptionFromOnRequestDoneLeavesGet) {
  ServeAnswer([](Conn& c) { c.Send(Response("200 OK", "", "x")); });
  try {
    Fetch("/", [](THttpCli& cli) {
      cli.OnRequestDone = [](THttpCli*, THttpRequest, std::uint16_t) {
        throw std::runtime_error("done failed");
      };
    });
    ADD_FAILURE() << "Get returned normally";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "done failed");
  }
  EXPECT_EQ(cli_.State(), httpReady);
  EXPECT_EQ(cli_.StatusCode(), 200);
}

}  // namespace
}  // namespace tavimo::test
