// https through the socket's TLS layer against a local TLS server with test certificates: the
// clients trust the test CA through the CA file they are given; other certificates, and the
// test CA for a client not given it, must be refused.
#include "net/HttpCli.h"
#include "base/Stream.h"
#include "tests/net/EventLog.h"
#include "tests/net/TestCa.h"
#include "tests/support/TestServer.h"

#include <gtest/gtest.h>

namespace tavimo::test {
namespace {

TestServer::Script Answer(const std::string& response) {
  return [response](Conn& c, int) {
    c.ReadHead();
    c.Send(response);
    c.Close();
  };
}

TEST(Https, TrustedServerDeliversTheDocument) {
  const std::string big(100000, 's');
  TestServer server(Answer(Response("200 OK", "Content-Type: application/x-shockwave-flash\r\n", big)),
                    Pki().goodCertPem, Pki().goodKeyPem);
  THttpCli cli(TestCa());
  EventLog log(cli);
  TMemoryStream body;
  cli.RcvdStream = &body;
  cli.URL = server.Url("/movie.swf");
  cli.Get();
  EXPECT_EQ(cli.StatusCode(), 200);
  EXPECT_EQ(body.View(), big);
  EXPECT_EQ(log.doneError, 0);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].raw.find("\r\nHost: localhost\r\n"), std::string::npos);
  // The handshake is done before the session counts as connected.
  const auto connected = std::find(log.events.begin(), log.events.end(), "SessionConnected");
  EXPECT_NE(connected, log.events.end());
}

// Trust is the client's own: beside a client given the test CA, one given nothing, a missing
// file or a file that holds no certificate refuses the same server.
TEST(Https, EachClientTrustsWhatItWasGiven) {
  TempDir dir;
  WriteFile(dir / "junk.pem", "-----BEGIN CERTIFICATE-----\nnot base64\n");
  struct Case {
    const char* name;
    std::string caFile;
    std::uint16_t error;
  };
  const Case cases[] = {
      {"test CA", TestCa().ExtraCaFile, 0},
      {"none", "", 12002},
      {"missing file", dir / "absent.pem", 12002},
      {"not a certificate", dir / "junk.pem", 12002},
  };
  TestServer server(Answer(Response("200 OK", "", "trusted")), Pki().goodCertPem, Pki().goodKeyPem);
  for (const Case& c : cases) {
    NetServices services;
    services.ExtraCaFile = c.caFile;
    THttpCli cli(services);
    EventLog log(cli);
    cli.URL = server.Url("/");
    cli.Get();
    EXPECT_EQ(log.doneError, c.error) << c.name << ": " << cli.ReasonPhrase();
    EXPECT_EQ(log.body, c.error ? "" : "trusted") << c.name;
  }
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(Https, UntrustedCertificateEndsLikeAFailedConnect) {
  TestServer server(Answer(Response("200 OK", "", "secret")), Pki().untrustedCertPem, Pki().untrustedKeyPem);
  THttpCli cli(TestCa());
  EventLog log(cli);
  cli.URL = server.Url("/");
  EXPECT_LT(TimedGet(cli), 2.0);
  EXPECT_EQ(cli.StatusCode(), 404);
  EXPECT_EQ(cli.ReasonPhrase(), "certificate not trusted (Error #12002)");
  EXPECT_EQ(log.doneError, 12002);
  EXPECT_TRUE(log.body.empty());
  EXPECT_EQ(log.Count("SessionConnected"), 0);
  EXPECT_EQ(log.requestDone, 1);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(Https, CertificateForAnotherHostIsRefused) {
  TestServer server(Answer(Response("200 OK", "", "secret")), Pki().wrongHostCertPem, Pki().wrongHostKeyPem);
  THttpCli cli(TestCa());
  EventLog log(cli);
  cli.URL = server.Url("/");
  EXPECT_LT(TimedGet(cli), 2.0);
  EXPECT_EQ(cli.StatusCode(), 404);
  EXPECT_EQ(cli.ReasonPhrase(), "certificate is for another host (Error #12003)");
  EXPECT_EQ(log.doneError, 12003);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(Https, RelocationFromHttpToHttps) {
  TestServer secure(Answer(Response("200 OK", "", "over tls")), Pki().goodCertPem, Pki().goodKeyPem);
  const std::string target = secure.Url("/s.swf");
  TestServer plain([target](Conn& c, int) {
    c.ReadHead();
    c.Send(Response("301 Moved Permanently", "Location: " + target + "\r\n", ""));
    c.Close();
  });
  THttpCli cli(TestCa());
  TMemoryStream body;
  cli.RcvdStream = &body;
  cli.URL = plain.Url("/s.swf");
  cli.Get();
  EXPECT_EQ(body.View(), "over tls");
  EXPECT_EQ(cli.Location(), target);
}

TEST(Https, PlainServerOnATlsUrlFailsCleanly) {
  TestServer plain([](Conn& c, int) {
    c.Send("HTTP/1.0 200 OK\r\n\r\nnot tls");
    c.Close();
  });
  THttpCli cli(TestCa());
  EventLog log(cli);
  cli.InactivityTimeout = 2;
  cli.URL = "https://localhost:" + std::to_string(plain.Port()) + "/";
  EXPECT_LT(TimedGet(cli), 3.0);
  EXPECT_EQ(cli.StatusCode(), 404);
  EXPECT_NE(log.doneError, 0);
  EXPECT_TRUE(log.body.empty());
  EXPECT_EQ(log.requestDone, 1);
}

TEST(Https, ThroughAProxyTunnelWithTheCertificateChecked) {
  // The "proxy" answers CONNECT and then plays the document's server inside the tunnel.
  auto tunnel = [](const std::string& cert, const std::string& key) {
    return [cert, key](Conn& c, int) {
      c.ReadHead();
      c.Send("HTTP/1.0 200 Connection established\r\n\r\n");
      if (!c.StartTls(cert, key)) return;
      c.ReadHead();
      c.Send(Response("200 OK", "", "tunnelled"));
      c.Close();
    };
  };
  TestServer proxy(tunnel(Pki().goodCertPem, Pki().goodKeyPem));
  THttpCli cli(TestCa());
  EventLog log(cli);
  cli.Proxy = "127.0.0.1:" + std::to_string(proxy.Port());
  cli.ProxyUsername = "pu";
  cli.ProxyPassword = "pp";
  cli.URL = "https://localhost/dir/t.swf";
  cli.Get();
  EXPECT_EQ(log.body, "tunnelled");
  ASSERT_EQ(proxy.Requests().size(), 2u);
  EXPECT_EQ(proxy.Requests()[0].raw,
            "CONNECT localhost:443 HTTP/1.0\r\nHost: localhost:443\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
  // Inside the tunnel: the path alone, the document's host, no proxy credentials.
  EXPECT_EQ(proxy.Requests()[1].raw.substr(0, proxy.Requests()[1].raw.find("\r\n")),
            "GET /dir/t.swf HTTP/1.0");
  EXPECT_NE(proxy.Requests()[1].raw.find("\r\nHost: localhost\r\n"), std::string::npos);
  EXPECT_EQ(proxy.Requests()[1].raw.find("Proxy-Authorization"), std::string::npos);

  TestServer badProxy(tunnel(Pki().untrustedCertPem, Pki().untrustedKeyPem));
  cli.Proxy = "127.0.0.1:" + std::to_string(badProxy.Port());
  cli.Get();
  EXPECT_EQ(cli.ReasonPhrase(), "certificate not trusted (Error #12002)");
  EXPECT_EQ(log.doneError, 12002);

  TestServer refusing([](Conn& c, int) {
    c.ReadHead();
    c.Send("HTTP/1.0 403 Forbidden\r\n\r\n");
    c.Close();
  });
  cli.Proxy = "127.0.0.1:" + std::to_string(refusing.Port());
  cli.Get();
  EXPECT_EQ(cli.StatusCode(), 403);
  EXPECT_EQ(cli.ReasonPhrase(), "Forbidden");
  EXPECT_EQ(cli.State(), httpReady);

  TestServer hangingUp([](Conn& c, int) {
    c.ReadHead();
    c.Close();
  });
  cli.Proxy = "127.0.0.1:" + std::to_string(hangingUp.Port());
  cli.Get();
  EXPECT_EQ(cli.ReasonPhrase(), "Connection closed without an answer");
  EXPECT_EQ(log.doneError, 10053);
}

}  // namespace
}  // namespace tavimo::test
