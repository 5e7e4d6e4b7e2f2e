#include "tests/support/HttpAnswers.h"

#include <cctype>
#include <ostream>

#include "tests/support/TestServer.h"

namespace tavimo::test {

namespace {

std::string Head(const std::string& headers) { return "HTTP/1.1 200 OK\r\n" + headers + "\r\n"; }
std::string ChunkedHead(const std::string& more = "") {
  return Head("Transfer-Encoding: chunked\r\n" + more);
}

std::string Binary(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xff);
  return s;
}

const std::string kPage = "<html><embed src=\"movie.swf\"></html>";
const std::string kMovie = Binary(3000);  // more than one block of the getter

std::vector<HttpAnswer> Build() {
  using End = HttpAnswer::End;
  const std::string gz = Gzip(kMovie);
  std::vector<HttpAnswer> rows = {
      // ---- lengths ----
      {"ExactLength", Response("200 OK", "Content-Length: 3000\r\n", kMovie), End::Close, true, kMovie},
      {"ExactLengthOnAKeptConnection", LengthLie(kPage, kPage.size()), End::Hold, true, kPage},
      {"ShorterThanLength", LengthLie("abc", 10), End::Close, false, "abc",
       "the body ended after 3 of 10 bytes"},
      {"ShorterThanLengthThenReset", LengthLie("abc", 10), End::Reset, false, "*"},
      {"LongerThanLengthKeepsLengthBytes", LengthLie("abcdefghij", 4), End::Hold, true, "abcd"},
      {"TwoDifferentLengths", Head("Content-Length: 3\r\nContent-Length: 4\r\n") + "abcd", End::Hold, false,
       "", "two different Content-Length values"},
      {"TwoDifferentLengthsInOneField", Head("Content-Length: 4, 3\r\n") + "abcd", End::Hold, false, "",
       "two different Content-Length values"},
      {"SameLengthTwice", Head("Content-Length: 4\r\nContent-Length: 4\r\n") + "abcd", End::Hold, true,
       "abcd"},
      {"LengthNotANumber", Head("Content-Length: 4x\r\n") + "abcd", End::Close, false, "",
       "invalid Content-Length"},
      {"NegativeLength", Head("Content-Length: -4\r\n") + "abcd", End::Close, false, "",
       "invalid Content-Length"},
      {"NoLengthCleanClose", Response("200 OK", "", kPage), End::Close, true, kPage},
      {"NoLengthReset", Response("200 OK", "", kPage), End::Reset, false, "*"},
      {"EmptyBody", Response("200 OK", "Content-Length: 0\r\n", ""), End::Hold, true, ""},
      // ---- chunks, and the one chunk-size grammar ----
      {"Chunked", Chunked(kMovie, 700, "X-Trailer: yes\r\n"), End::Hold, true, kMovie},
      {"ChunkedWithLengthToo",
       Head("Content-Length: 3\r\nTransfer-Encoding: chunked\r\n") +
           "5;ext=1\r\nabcde\r\n0\r\nX-Trailer: t\r\n\r\n",
       End::Hold, true, "abcde"},
      {"ChunkSizeUpperCaseWithExtension",
       ChunkedHead() + "1A;name=\"v\"\r\n" + std::string(26, 'u') + "\r\n0\r\n\r\n", End::Hold, true,
       std::string(26, 'u')},
      {"ChunkSizeBlanksBeforeExtension", ChunkedHead() + "3 \t;x\r\nabc\r\n0 \r\n\r\n", End::Hold, true,
       "abc"},
      {"ChunkSizeLeadingZeros", ChunkedHead() + "0003\r\nabc\r\n000\r\n\r\n", End::Hold, true, "abc"},
      {"ChunkLinesWithBareLineFeeds", ChunkedHead() + "3\nabc\n0\n\n", End::Hold, true, "abc"},
      {"ChunkSizeFollowedByText", ChunkedHead() + "1a foo\r\n" + std::string(26, 'u') + "\r\n0\r\n\r\n",
       End::Hold, false, "", "bad chunk size"},
      {"ChunkSizeNotHex", ChunkedHead() + "zz\r\nabc\r\n0\r\n\r\n", End::Hold, false, "", "bad chunk size"},
      {"ChunkSizeEmpty", ChunkedHead() + "\r\nabc\r\n0\r\n\r\n", End::Hold, false, "", "bad chunk size"},
      {"ChunkSizeSigned", ChunkedHead() + "+3\r\nabc\r\n0\r\n\r\n", End::Hold, false, "", "bad chunk size"},
      {"ChunkSizeBeyondAnyBody", ChunkedHead() + "fffffffffffffffff\r\nabc\r\n", End::Hold, false, "",
       "bad chunk size"},
      {"ChunkLongerThanItsSize", ChunkedHead() + "2\r\nabc\r\n0\r\n\r\n", End::Hold, false, "ab",
       "a chunk is longer than its size"},
      {"ChunkLineWithoutEnd", ChunkedHead() + "3;" + std::string(5000, 'e'), End::Hold, false, "",
       "chunk line longer than 4096 bytes"},
      {"ChunkTrailersWithoutEnd",
       ChunkedHead() + "3\r\nabc\r\n0\r\n" +
           [] {
             std::string t;
             while (t.size() <= 64 * 1024) t += "X-Trailer: " + std::string(100, 't') + "\r\n";
             return t;
           }(),
       End::Hold, false, "abc", "chunk trailer larger than 65536 bytes"},
      {"ChunkedCutBeforeTheLastChunk", ChunkedHead() + "5\r\nabcde\r\n3\r\nab", End::Close, false, "abcdeab",
       "the body ended before its last chunk"},
      {"ChunkedCutAfterTheLastChunk", ChunkedHead() + "3\r\nabc\r\n0\r\n", End::Close, false, "abc",
       "the body ended before its last chunk"},
      {"TransferCodingNotChunked", Head("Transfer-Encoding: gzip\r\n") + gz, End::Close, false, "",
       "unsupported transfer encoding: gzip"},
      {"ChunkedTwice", ChunkedHead("Transfer-Encoding: chunked\r\n") + "3\r\nabc\r\n0\r\n\r\n", End::Close,
       false, "", "unsupported transfer encoding"},
      // ---- content codings nobody asked for ----
      {"UnaskedGzip", Encoded(kMovie, "gzip"), End::Hold, true, kMovie},
      {"UnaskedDeflate", Encoded(kMovie, "deflate"), End::Hold, true, kMovie},
      {"UnaskedBareDeflate", Encoded(kMovie, "bare-deflate"), End::Hold, true, kMovie},
      {"GzipWithoutLength", Response("200 OK", "Content-Encoding: gzip\r\n", gz), End::Close, true, kMovie},
      {"GzipAndChunked",
       Head("Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n") +
           Chunked(gz, 500).substr(ChunkedHead().size()),
       End::Hold, true, kMovie},
      {"GzipCutShort",
       Response("200 OK",
                "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(gz.size() / 2) + "\r\n",
                gz.substr(0, gz.size() / 2)),
       End::Close, false, "*", "the compressed body ended early"},
      {"GzipCutByTheClose", Response("200 OK", "Content-Encoding: gzip\r\n", gz.substr(0, 20)), End::Close,
       false, "*", "the compressed body ended early"},
      {"GzipThatIsNot",
       Response("200 OK", "Content-Encoding: gzip\r\nContent-Length: 12\r\n", "plain text!!"), End::Hold,
       false, "", "the compressed body is damaged"},
      {"GzipOfNothing", Response("200 OK", "Content-Encoding: gzip\r\nContent-Length: 0\r\n", ""), End::Hold,
       false, "", "the compressed body ended early"},
      {"UnknownEncoding", Response("200 OK", "Content-Encoding: br\r\n", "\x1b\x03"), End::Hold, false, "",
       "unsupported content encoding: br"},
      {"TwoEncodings", Response("200 OK", "Content-Encoding: gzip\r\nContent-Encoding: gzip\r\n", Gzip(gz)),
       End::Close, false, "", "unsupported content encoding"},
      {"IdentityEncoding", Response("200 OK", "Content-Encoding: Identity\r\nContent-Length: 3\r\n", "abc"),
       End::Hold, true, "abc"},
      // ---- interim answers ----
      {"OneInterimAnswer", WithInterim(Response("200 OK", "", kPage)), End::Close, true, kPage},
      {"ThreeInterimAnswers", WithInterim(Response("200 OK", "", kPage), 3, 102), End::Close, true, kPage},
      // ---- heads that are not HTTP or not whole ----
      {"NotHttp", GarbageStatus(), End::Close, false, ""},
      {"StatusWithoutVersion", "HTTP/ 200 OK\r\nContent-Length: 2\r\n\r\nok", End::Close, false, ""},
      {"CutInsideTheStatusLine", "HTTP/1.0 20", End::Close, false, ""},
      {"CutInsideTheHeaders", "HTTP/1.0 200 OK\r\nContent-Type: application/x-shock", End::Close, false, ""},
      {"CutBeforeTheBlankLine", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n", End::Close, false, ""},
      {"CutAfterAnInterimAnswer", "HTTP/1.0 100 Continue\r\n\r\nHTTP/1.0 200 OK\r\n", End::Close, false, ""},
  };
  // A cache keeps the body with its chunks undone, only the bytes a length names, and only a
  // whole head: those rows' bytes are not what a cache would hold.
  for (HttpAnswer& a : rows) {
    std::string head, body;
    const bool wholeHead = SplitAnswer(a.bytes, head, body) && head.starts_with("HTTP/1.");
    // One length, and more bytes than it names: a cache keeps only those it names.
    const std::size_t length = head.find("\r\nContent-Length: ");
    const bool oneLength =
        length != std::string::npos && head.find("\r\nContent-Length: ", length + 1) == std::string::npos;
    const bool pastLength = oneLength && std::isdigit(static_cast<unsigned char>(head[length + 18])) &&
                            body.size() > std::stoul(head.substr(length + 18));
    a.cacheKeepsAsIs = wholeHead && head.find("Transfer-Encoding") == std::string::npos && !pastLength;
  }
  return rows;
}

}  // namespace

const std::vector<HttpAnswer>& HttpAnswers() {
  static const std::vector<HttpAnswer> rows = Build();
  return rows;
}

bool SplitAnswer(const std::string& bytes, std::string& head, std::string& body) {
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = bytes.find("\r\n\r\n", at);
    if (end == std::string::npos) return false;
    head = bytes.substr(at, end + 2 - at);
    body = bytes.substr(end + 4);
    if (!head.starts_with("HTTP/1.1 1") && !head.starts_with("HTTP/1.0 1")) return true;
    at = end + 4;
  }
}

void PrintTo(const HttpAnswer& a, std::ostream* os) { *os << a.name; }

std::vector<HttpAnswer> StoredHttpAnswers() {
  std::vector<HttpAnswer> rows;
  for (const HttpAnswer& a : HttpAnswers()) {
    if (!a.WireOnly()) rows.push_back(a);
  }
  return rows;
}

std::vector<HttpAnswer> CachedHttpAnswers() {
  std::vector<HttpAnswer> rows;
  for (const HttpAnswer& a : StoredHttpAnswers()) {
    if (a.cacheKeepsAsIs) rows.push_back(a);
  }
  return rows;
}

}  // namespace tavimo::test
