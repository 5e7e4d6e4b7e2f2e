// The page client against the one table of hostile answers, over a real socket: each answer
// either arrives whole (error 0, one OnDocEnd) or fails with a code and a reason, never both.
#include "compat/WinsockErrors.h"
#include "tests/net/ClientFixture.h"
#include "tests/support/HttpAnswers.h"

namespace tavimo::test {
namespace {

class HttpCliAnswers : public ClientFixture, public ::testing::WithParamInterface<HttpAnswer> {};

// The client's code for a refusal: an early end is a truncation, anything else the reader
// refuses is a bad answer; a reset keeps its own code and a head that never ended is no answer.
std::uint16_t ExpectedCode(const HttpAnswer& a) {
  if (a.end == HttpAnswer::End::Reset) return WSAECONNRESET;
  if (a.reason.find("ended") != std::string::npos) return httperrTruncated;
  if (!a.reason.empty()) return httperrBadAnswer;
  const bool headCut = a.bytes.find("\r\n\r\n") == std::string::npos || a.bytes.starts_with("HTTP/1.0 100");
  return headCut ? static_cast<std::uint16_t>(WSAECONNABORTED) : httperrBadAnswer;
}

TEST_P(HttpCliAnswers, WholeOrRefused) {
  const HttpAnswer& a = GetParam();
  ServeAnswer([&a](Conn& c) {
    c.Send(a.bytes);
    if (a.end == HttpAnswer::End::Reset) {
      c.Sleep(50);
      c.Reset();
    } else if (a.end == HttpAnswer::End::Hold) {
      c.WaitForClose(8000);  // the framing, not the server, must end the request
    }
  });
  Fetch("/page.htm", [](THttpCli& cli) {
    cli.InactivityTimeout = 3;
    cli.MaxHeaderBytes = 4096;
  });
  EXPECT_EQ(log_.doneError, a.whole ? 0 : ExpectedCode(a)) << cli_.ReasonPhrase();
  EXPECT_EQ(cli_.RequestDoneError(), log_.doneError);
  if (a.body != "*") {
    EXPECT_EQ(log_.body, a.body);
  }
  EXPECT_EQ(cli_.RcvdCount(), static_cast<std::int64_t>(log_.body.size()));
  EXPECT_EQ(log_.Count("DocEnd"), a.whole && !log_.body.empty() ? 1 : 0);
  if (!a.whole) {
    EXPECT_NE(cli_.ReasonPhrase().find(a.reason), std::string::npos) << cli_.ReasonPhrase();
  }
  EXPECT_EQ(server_->Connections(), 1);
  EXPECT_EQ(cli_.State(), httpReady);
}

INSTANTIATE_TEST_SUITE_P(Table, HttpCliAnswers, ::testing::ValuesIn(HttpAnswers()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace tavimo::test
