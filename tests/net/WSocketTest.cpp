// TWSocket on real sockets: lookups, connect, the send queue, receive draining, close rules
// and the error texts a user may see.
#include "net/WSocket.h"
#include "tests/net/EventLog.h"
#include "tests/support/TestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <thread>

namespace tavimo::test {
namespace {

// Waits in the event loop until cond holds (or ms pass).
template <typename Cond>
bool WaitFor(Cond cond, int ms = 3000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond() && std::chrono::steady_clock::now() < until) ProcessMessagesFor(5);
  return cond();
}

// The text of the ESocketException fn raises ("no error" when it raises none).
template <typename F>
std::string ErrorOf(F fn) {
  try {
    fn();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "no error";
}

NetServices WithResolver(HostResolver resolver) {
  NetServices services;
  services.Resolver = std::move(resolver);
  return services;
}

void ConnectTo(TWSocket& s, int port) {
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.SetProto("tcp");
  s.Connect();
}

TEST(WSocket, LookupOfAnAddressAnswersAtOnceAndNamesAnswerLater) {
  TWSocket s;
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TWSocket*, std::uint16_t e) { done.push_back(e); };
  s.DnsLookup("127.1");
  ASSERT_EQ(done, std::vector<int>{0});  // before DnsLookup returned
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");

  s.SetNetServices(WithResolver([](const std::string&) {
    HostAnswer a;
    a.addresses = {"10.0.0.3", "10.0.0.1", "10.0.0.2"};
    return a;
  }));
  done.clear();
  s.DnsLookup("many.test");
  EXPECT_TRUE(done.empty());
  ASSERT_TRUE(WaitFor([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<int>{0});
  EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"10.0.0.3", "10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(s.DnsResult(), "10.0.0.3");
}

// Each socket looks names up through its own resolver, also at the same time and also when
// Connect resolves Addr itself; a socket given none keeps the system's.
TEST(WSocket, ResolverIsTheSocketsOwn) {
  auto answering = [](std::string address) {
    return WithResolver([address](const std::string& name) {
      HostAnswer a;
      if (name == "movies.test" && !address.empty()) a.addresses = {address};
      else a.error = 11001;
      return a;
    });
  };
  TWSocket a(answering("10.0.0.1")), b(answering("10.0.0.2")), plain;
  int done = 0;
  for (TWSocket* s : {&a, &b, &plain}) s->OnDnsLookupDone = [&](TWSocket*, std::uint16_t) { ++done; };
  a.DnsLookup("movies.test");
  b.DnsLookup("movies.test");
  plain.DnsLookup("localhost");
  ASSERT_TRUE(WaitFor([&] { return done == 3; }));
  EXPECT_EQ(a.DnsResult(), "10.0.0.1");
  EXPECT_EQ(b.DnsResult(), "10.0.0.2");
  EXPECT_EQ(plain.DnsResult(), "127.0.0.1");

  TestServer server([](Conn& c, int) { c.WaitForClose(3000); });
  struct Case {
    const char* name;
    std::string resolvesTo;  // empty: the name is unknown to the resolver
    bool connects;
  };
  for (const Case& c : {Case{"own resolver", "127.0.0.1", true}, Case{"unknown name", "", false}}) {
    TWSocket s(answering(c.resolvesTo));
    bool connected = false;
    s.OnSessionConnected = [&](TWSocket*, std::uint16_t e) { connected = e == 0; };
    s.SetAddr("movies.test");
    s.SetPort(std::to_string(server.Port()));
    const std::string error = ErrorOf([&] { s.Connect(); });
    if (c.connects) {
      EXPECT_EQ(error, "no error") << c.name;
      EXPECT_TRUE(WaitFor([&] { return connected; })) << c.name;
    } else {
      EXPECT_NE(error.find("Cannot convert host address 'movies.test', Error #11001"), std::string::npos)
          << c.name << ": " << error;
    }
  }
}

TEST(WSocket, CancelDnsLookupFiresOnceAndDropsTheLateAnswer) {
  TWSocket s(WithResolver([](const std::string&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    HostAnswer a;
    a.addresses = {"10.1.1.1"};
    return a;
  }));
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TWSocket*, std::uint16_t e) { done.push_back(e); };
  s.CancelDnsLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(done.empty());
  s.DnsLookup("slow.test");
  s.CancelDnsLookup();
  EXPECT_EQ(done, std::vector<int>{10004});
  ProcessMessagesFor(400);
  EXPECT_EQ(done, std::vector<int>{10004});
  EXPECT_TRUE(s.DnsResult().empty());

  EXPECT_EQ(ErrorOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
}

TEST(WSocket, SendOnAClosedSocketAndSettersWhileOpen) {
  TWSocket s;
  std::vector<std::pair<int, int>> states;
  s.OnChangeState = [&](TWSocket*, TSocketState o, TSocketState n) { states.emplace_back(o, n); };
  EXPECT_EQ(ErrorOf([&] { s.Send("x", 1); }), "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.LastError(), 10057);
  int errors = 0;
  s.OnError = [&](TWSocket*) { ++errors; };
  EXPECT_EQ(s.Send("x", 1), -1);
  EXPECT_EQ(errors, 1);
  s.OnError = nullptr;

  EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
  s.SetPort("80");
  EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "Connect: No IP Address Specified");
  s.SetAddr("999.1.1.1");
  EXPECT_EQ(ErrorOf([&] { s.Connect(); }), "connect: WSocketResolveHost: '999.1.1.1' Invalid IP address.");

  TestServer server([](Conn& c, int) { c.WaitForClose(3000); });
  TWSocket t;
  ConnectTo(t, server.Port());
  EXPECT_EQ(ErrorOf([&] { t.SetAddr("1.2.3.4"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(ErrorOf([&] { t.SetPort("1"); }), "Cannot change Port if not closed");
  EXPECT_EQ(ErrorOf([&] { t.SetProto("udp"); }), "Cannot change Proto if not closed");
  t.Close();
}

TEST(WSocket, SessionEventsSendQueueAndOnDataSentAfterReturn) {
  TestServer server([](Conn& c, int) {
    // Echo whatever comes, until the client closes.
    for (;;) {
      std::string head = c.ReadHead();
      if (head.empty()) return;
      c.Send("echo:" + head);
    }
  });
  TWSocket s;
  std::vector<std::string> log;
  s.OnChangeState = [&](TWSocket*, TSocketState, TSocketState n) {
    log.push_back("state " + std::to_string(n));
  };
  s.OnSessionConnected = [&](TWSocket*, std::uint16_t e) { log.push_back("connected " + std::to_string(e)); };
  s.OnDataSent = [&](TWSocket*, std::uint16_t e) { log.push_back("sent " + std::to_string(e)); };
  std::string got;
  s.OnDataAvailable = [&](TWSocket* so, std::uint16_t) {
    char buf[100];
    const int n = so->Receive(buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
  };
  ConnectTo(s, server.Port());
  EXPECT_EQ(s.State(), wsConnecting);
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsConnected; }));
  ProcessMessagesFor(20);
  log.clear();

  const std::string msg = std::string(5000, 'm') + "\r\n\r\n";
  EXPECT_EQ(s.Send(msg.data(), static_cast<int>(msg.size())), static_cast<int>(msg.size()));
  EXPECT_EQ(s.Send("", 0), 0);
  EXPECT_TRUE(log.empty());  // OnDataSent comes through the queue, after Send returned
  ASSERT_TRUE(WaitFor([&] { return got.size() == msg.size() + 5; }));
  EXPECT_EQ(got, "echo:" + msg);
  EXPECT_GE(std::count(log.begin(), log.end(), "sent 0"), 1);
  EXPECT_EQ(s.SendQueueBlocks(), 1u);  // the last block stays for reuse
  EXPECT_EQ(s.ReadCount(), static_cast<std::int64_t>(got.size()));

  int closed = 0;
  s.OnSessionClosed = [&](TWSocket*, std::uint16_t) { ++closed; };
  s.Close();
  EXPECT_EQ(closed, 1);  // synchronously
  s.Close();
  ProcessMessagesFor(50);
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(s.Addr().empty());
  EXPECT_TRUE(s.Port().empty());
  EXPECT_EQ(s.Proto(), "tcp");
}

TEST(WSocket, PeerCloseDrainsEveryByteThenClosesOnce) {
  const std::string payload(100000, 'd');
  TestServer server([payload](Conn& c, int) {
    c.Send(payload);
    c.Close();
  });
  TWSocket s;
  std::string got;
  int closed = 0;
  bool closedAfterAll = false;
  int failures = 0;
  s.OnDataAvailable = [&](TWSocket* so, std::uint16_t) {
    char buf[333];
    const int n = so->Receive(buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    // A failing handler ends one pass of reading only.
    if (got.size() % 3 == 0 && failures++ < 5) throw std::runtime_error("handler failed");
  };
  s.OnSessionClosed = [&](TWSocket*, std::uint16_t e) {
    ++closed;
    closedAfterAll = got.size() == payload.size() && e == 0;
  };
  ConnectTo(s, server.Port());
  ASSERT_TRUE(WaitFor([&] { return closed > 0; }));
  ProcessMessagesFor(50);
  EXPECT_EQ(got.size(), payload.size());
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(closedAfterAll);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, RefusedConnectAndBackgroundExceptions) {
  TWSocket s;
  int connectError = -1;
  s.OnSessionConnected = [&](TWSocket*, std::uint16_t e) { connectError = e; };
  // Find a port nobody listens on.
  int port;
  {
    TestServer gone([](Conn&, int) {});
    port = gone.Port();
  }
  try {
    ConnectTo(s, port);
    ASSERT_TRUE(WaitFor([&] { return connectError >= 0; }));
    EXPECT_EQ(connectError, 10061);
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "Error 10061 in function Connect\r\nConnection refused");
  }
  s.Close();
  EXPECT_EQ(s.State(), wsClosed);

  // An exception inside the message handler reaches OnBgException; by default it aborts.
  TestServer server([](Conn& c, int) { c.WaitForClose(3000); });
  TWSocket t;
  std::string bg;
  t.OnBgException = [&](TWSocket*, const std::exception& e, bool& canClose) {
    bg = e.what();
    EXPECT_TRUE(canClose);
  };
  ConnectTo(t, server.Port());
  ASSERT_TRUE(WaitFor([&] { return t.State() == wsConnected; }));
  t.PostTestException();
  ASSERT_TRUE(WaitFor([&] { return !bg.empty(); }));
  EXPECT_EQ(bg, "Test exception in WSocket");
  EXPECT_EQ(t.State(), wsClosed);
}

TEST(WSocket, Resolvers) {
  EXPECT_EQ(WSocketResolvePort("81abc", "tcp"), 81);  // reading stops at the first non-digit
  EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
  EXPECT_EQ(ErrorOf([] { WSocketResolvePort(std::string(32, '1'), "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(ErrorOf([] {
              WSocketResolvePort("99999", "tcp");
            }).rfind("WSocketResolvePort: Cannot convert port '99999', Error #", 0),
            0u);
  EXPECT_EQ(WSocketResolveProto("17"), 17);
  EXPECT_EQ(ErrorOf([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(WSocketResolveHost(" 127.0.0.1 "), htonl(0x7F000001));
  EXPECT_EQ(ErrorOf([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
}

}  // namespace
}  // namespace tavimo::test
