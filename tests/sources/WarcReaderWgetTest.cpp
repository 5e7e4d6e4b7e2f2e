#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>

#include "sources/warc/WarcReader.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

std::string Swf(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s = "FWS";
  while (s.size() < n) s += static_cast<char>(rng());
  return s;
}

// The answer with its type, saying that the server closes after it (as it does). Without that,
// wget keeps the connection for its next request, and when the server's close comes after
// wget's check, the request goes out on a closed connection and is sent again: one more
// request record in the archive.
std::string WithType(std::string answer, const std::string& type) {
  return answer.insert(answer.find("\r\n") + 2, "Content-Type: " + type + "\r\nConnection: close\r\n");
}

// Debian's wget archives a small site: a page, its frame (sent in chunks) and two movies (one
// sent gzipped unasked), plus a link that is not there. Every response record must come back
// with its address, status and exact body, compressed archive or not.
class WgetWarc : public ::testing::TestWithParam<bool> {};

TEST_P(WgetWarc, EveryResponseIsFoundWithItsExactBody) {
  const bool compressed = GetParam();
  const std::string a = Swf(150000, 1), b = Swf(9000, 2);
  const std::string page =
      "<html><body><iframe src=\"frame.html\"></iframe><embed src=\"a.swf\"></body></html>";
  const std::string frame = "<html><a href=\"b.swf\">b</a> <a href=\"missing.swf\">gone</a></html>";
  test::TestServer server(test::TestServer::Files({
      {"/index.html", test::TestServer::Response(200, page, "Content-Type: text/html\r\n")},
      {"/frame.html", WithType(test::Chunked(frame, 10), "text/html")},
      {"/a.swf", test::TestServer::Response(200, a, "Content-Type: application/x-shockwave-flash\r\n")},
      {"/b.swf", WithType(test::Encoded(b, "gzip"), "application/x-shockwave-flash")},
  }));
  test::TempDir dir;
  const std::string command = "cd " + dir.Path() +
                              " && timeout 60 wget -q --no-proxy -r -l 3 -e robots=off -P site " +
                              (compressed ? "" : "--no-warc-compression ") + "--warc-file=archive " +
                              server.Url("/index.html") + " >/dev/null 2>&1";
  const int rc = std::system(command.c_str());  // wget says 8 for the missing link
  ASSERT_TRUE(WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 8)) << command;
  const std::string file = dir / (compressed ? "archive.warc.gz" : "archive.warc");
  const int fd = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << file;

  const std::map<std::string, std::pair<int, std::string>> expected = {
      {server.Url("/index.html"), {200, page}},
      {server.Url("/frame.html"), {200, frame}},
      {server.Url("/a.swf"), {200, a}},
      {server.Url("/b.swf"), {200, b}},
      {server.Url("/missing.swf"), {404, "<html>not here</html>"}}};
  std::map<std::string, std::pair<int, std::string>> found;
  std::map<std::string, int> types;
  TWarcReader reader(TWarcReader::FileSource(fd));
  TWarcRecord r;
  TWarcDamage d;
  for (TWarcReader::Step step; (step = reader.Next(r, d)) != TWarcReader::Step::End;) {
    ASSERT_EQ(step, TWarcReader::Step::Record) << d.offset << ": " << d.reason;
    ++types[r.type];
    if (r.type != "response") continue;
    ASSERT_TRUE(r.IsHttpResponse()) << r.targetUri << ": " << r.httpProblem;
    std::string body;
    const TWarcPayloadResult p = reader.ReadPayload(body);
    EXPECT_TRUE(p.complete) << r.targetUri << ": " << p.error;
    found[r.targetUri] = {r.httpStatus, body};
  }
  ::close(fd);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(types["request"], 5);
  EXPECT_EQ(types["warcinfo"], 1);
}

INSTANTIATE_TEST_SUITE_P(All, WgetWarc, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "RecordGzip" : "Plain"; });

}  // namespace
}  // namespace tavimo
