// The HTTP answer reader on its own: the status-line grammar, header lookup over both line ends,
// the length rules, and bodies fed in pieces of every size. Whole answers against every reader
// are the shared table's (tests/support/HttpAnswers.cpp).
#include <gtest/gtest.h>

#include "base/http/BodyFraming.h"
#include "base/http/HttpHead.h"
#include "base/http/MessageBody.h"

namespace tavimo {
namespace {

TEST(HttpHead, StatusLineGrammar) {
  const struct {
    const char* line;
    bool stored;
    int code;  // 0: refused
    const char* reason;
  } cases[] = {
      {"HTTP/1.1 200 OK", false, 200, "OK"}, {"HTTP/1.0 404 Not Found\r", false, 404, "Not Found"},
      {"HTTP/1.1 204", false, 204, ""},      {"HTTP/1.1 200 ", false, 200, ""},
      {"HTTP/2 200", false, 0, ""},          {"HTTP/2 200", true, 200, ""},
      {"HTTP/1.1 2000 OK", false, 0, ""},    {"HTTP/1.1 20 OK", false, 0, ""},
      {"HTTP/1.1 099 Low", false, 0, ""},    {"HTTP/1.1 600 High", false, 0, ""},
      {"HTTP/1.x 200 OK", false, 0, ""},     {"HTTP/ 200 OK", true, 0, ""},
      {"http/1.1 200 OK", false, 0, ""},     {"SSH-2.0-OpenSSH", true, 0, ""},
  };
  for (const auto& c : cases) {
    const auto s = ParseStatusLine(c.line, c.stored);
    EXPECT_EQ(s ? s->code : 0, c.code) << c.line;
    if (s) {
      EXPECT_EQ(s->reason, c.reason) << c.line;
    }
  }
}

TEST(HttpHead, LookupReadsBothLineEndsAndExactNames) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html \r\nX-Bare: lf\nContent-Length : 9\r\n"
      "content-length:\t5\r\nContent-Length: 7\r\n";
  EXPECT_EQ(HttpHeaderValue(head, "content-type"), "text/html");
  EXPECT_EQ(HttpHeaderValue(head, "X-Bare"), "lf");
  EXPECT_EQ(HttpHeaderValue(head, "Content-Length"), "5");  // "Content-Length " is another name
  EXPECT_EQ(HttpHeaderValues(head, "Content-Length"), "5, 7");
  EXPECT_EQ(HttpHeaderValue(head, "HTTP/1.1 200 OK"), "");  // the status line is no field
  std::size_t linesEnd = 0;
  EXPECT_EQ(HttpHeadEnd("HTTP/1.1 200 OK\r\nA: b\n\r\nbody", linesEnd), 24u);
  EXPECT_EQ(linesEnd, 22u);
  EXPECT_EQ(HttpHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n", linesEnd), std::string_view::npos);
}

TEST(BodyFraming, StatusAndFieldsDecide) {
  using K = BodyFraming::Kind;
  const struct {
    const char* head;
    bool headRequest;
    K kind;
    std::uint64_t length;
    const char* error;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n", false, K::Length, 12, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n", true, K::None, 0, ""},
      {"HTTP/1.1 204 No Content\r\nContent-Length: 12\r\n", false, K::None, 0, ""},
      {"HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: gzip\r\n", false, K::None, 0, ""},
      {"HTTP/1.1 101 Switching\r\n", false, K::None, 0, ""},
      {"HTTP/1.1 200 OK\r\n", false, K::Close, 0, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 7, 7\r\n", false, K::Length, 7, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n", false, K::Close, 0, "invalid"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: identity, Chunked\r\nContent-Length: x\r\n", false, K::Chunked,
       0, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n", false, K::Close, 0,
       "transfer encoding: gzip"},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: x-gzip\r\n", false, K::Close, 0, ""},
  };
  for (const auto& c : cases) {
    const BodyFraming f = BodyFramingOf(c.head, c.headRequest);
    EXPECT_NE(f.error.find(c.error), std::string::npos) << c.head << f.error;
    if (*c.error) continue;
    EXPECT_TRUE(f.error.empty()) << c.head << f.error;
    EXPECT_EQ(f.kind, c.kind) << c.head;
    EXPECT_EQ(f.length, c.length) << c.head;
  }
}

// Whatever the pieces, the same body comes out and the framing ends at the same byte.
TEST(MessageBody, PiecesOfEverySizeGiveTheSameBody) {
  const std::string wire = "3;x=1\r\nabc\r\n1A\r\n" + std::string(26, 'z') + "\r\n0\r\nT: t\r\n\r\nNEXT";
  BodyFraming chunked;
  chunked.kind = BodyFraming::Kind::Chunked;
  for (std::size_t piece = 1; piece <= wire.size(); ++piece) {
    MessageBody body(chunked);
    std::string out;
    std::size_t at = 0;
    auto r = MessageBody::Result::More;
    while (r == MessageBody::Result::More && at < wire.size()) {
      std::size_t used = 0;
      r = body.Feed(
          wire.data() + at, std::min(piece, wire.size() - at),
          [&out](const char* p, std::size_t n) {
            out.append(p, n);
            return true;
          },
          &used);
      at += used;
    }
    EXPECT_EQ(r, MessageBody::Result::Done) << piece;
    EXPECT_EQ(out, "abc" + std::string(26, 'z')) << piece;
    EXPECT_EQ(wire.substr(at), "NEXT") << piece;
    EXPECT_EQ(body.PayloadBytes(), 29u);
  }
}

TEST(MessageBody, ASinkThatStopsIsHeardAtOnce) {
  BodyFraming close;
  MessageBody body(close);
  int calls = 0;
  const auto stop = [&calls](const char*, std::size_t) { return ++calls < 1; };
  EXPECT_EQ(body.Feed("abc", 3, stop), MessageBody::Result::Stopped);
  EXPECT_EQ(body.Feed("def", 3, stop), MessageBody::Result::Stopped);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tavimo
