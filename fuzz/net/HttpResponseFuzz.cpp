// Feeds server byte streams, cut at arbitrary points, into THttpCli's receive path (no socket):
// it must never crash, hang or lose track of what it delivered. Besides raw bytes, the input
// builds well-formed chunked answers and answers behind interim (1xx) answers, whose body the
// client must deliver exactly, once, and end as a document.
#include "net/HttpCli.h"
#include "base/Stream.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

const char* const kHex = "0123456789abcdef0123456789ABCDEF";

std::string hex(std::size_t n, bool upper) {
  std::string s;
  do {
    s.insert(s.begin(), kHex[(n & 15) + (upper ? 16 : 0)]);
    n >>= 4;
  } while (n);
  return s;
}

// A valid chunked answer carrying `payload`, its chunk sizes, extensions and trailer chosen
// by the input.
std::string chunkedAnswer(FuzzedDataProvider& in, const std::string& payload) {
  std::string r = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
  if (in.ConsumeBool()) r += "Content-Length: 3\r\n";  // the chunks win
  r += "\r\n";
  const bool upper = in.ConsumeBool();
  for (std::size_t off = 0; off < payload.size();) {
    const std::size_t n = std::min(payload.size() - off, in.ConsumeIntegralInRange<std::size_t>(1, 300));
    r += hex(n, upper) + (in.ConsumeBool() ? ";name=value" : "") + (in.ConsumeBool() ? "\r\n" : "\n");
    r += payload.substr(off, n) + "\r\n";
    off += n;
  }
  r += "0\r\n";
  if (in.ConsumeBool()) r += "X-Trailer: t\r\n";
  return r + "\r\n";
}

std::string interimAnswer(FuzzedDataProvider& in, const std::string& payload) {
  std::string r;
  const int interim = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < interim; ++i) {
    int code = 100 + in.ConsumeIntegralInRange(0, 98);
    if (code >= 101) ++code;  // 101 is no interim answer: nothing HTTP follows it
    r += "HTTP/1.1 " + std::to_string(code) + " Continue\r\n" + (in.ConsumeBool() ? "X-Hint: a\r\n" : "") +
         "\r\n";
  }
  return r + "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(payload.size()) + "\r\n\r\n" + payload;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  tavimo::THttpCli cli;
  tavimo::TMemoryStream stream;
  cli.RcvdStream = &stream;
  cli.MaxHeaderBytes = 16 * 1024;
  std::int64_t delivered = 0;
  int docBegins = 0, docEnds = 0;
  const int mode = in.ConsumeIntegralInRange(0, 3);
  const bool failingHandler = mode == 0 && in.ConsumeBool();
  int calls = 0;
  cli.OnDocBegin = [&](tavimo::THttpCli*) { ++docBegins; };
  cli.OnDocEnd = [&](tavimo::THttpCli*) { ++docEnds; };
  cli.OnDocData = [&](tavimo::THttpCli*, const char* p, std::int32_t n) {
    if (n <= 0 || !p) std::abort();
    delivered += n;
    if (failingHandler && (++calls % 3) == 0) throw std::runtime_error("handler failed");
  };
  cli.OnCookie = [](tavimo::THttpCli*, const std::string&, bool& accept) { accept = false; };

  // What goes on the wire, and for the well-formed modes the body it must yield.
  std::string wire;
  std::string payload;
  switch (mode) {
    case 1:
      payload = in.ConsumeRandomLengthString(4096);
      wire = chunkedAnswer(in, payload);
      break;
    case 2:
      payload = in.ConsumeRandomLengthString(4096);
      wire = interimAnswer(in, payload);
      break;
    case 3:  // chunked framing around whatever follows
      wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + in.ConsumeRandomLengthString(8192);
      break;
    default: break;
  }

  cli.BeginResponseForTests();
  std::size_t fed = 0;
  auto feed = [&](const std::string& piece) {
    fed += piece.size();
    cli.ReceiveForTests(piece.data(), piece.size());
  };
  if (mode == 0) {
    while (in.remaining_bytes() > 0) {
      const std::size_t cut = in.ConsumeIntegralInRange<std::size_t>(1, 9000);
      feed(in.ConsumeBytesAsString(cut));
    }
  } else {
    for (std::size_t off = 0; off < wire.size();) {
      const std::size_t cut =
          in.remaining_bytes() > 0 ? in.ConsumeIntegralInRange<std::size_t>(1, 2000) : wire.size();
      feed(wire.substr(off, cut));
      off += std::min(cut, wire.size() - off);
    }
    QCoreApplication::processEvents();
  }

  // Every body byte was counted, stored and reported exactly once, and came from the input.
  if (cli.RcvdCount() != delivered || stream.Size() != delivered) std::abort();
  bool encoded = false;
  for (const std::string& h : cli.RcvdHeader())
    if (h.size() > 17 && (h[0] == 'c' || h[0] == 'C') && (h[8] == 'e' || h[8] == 'E')) encoded = true;
  if (!encoded && delivered > static_cast<std::int64_t>(fed)) std::abort();
  if (docBegins > 1 + 10) std::abort();
  if (docEnds > docBegins) std::abort();
  if (mode == 1 || mode == 2) {
    // Well-formed answers: the exact body, ended once as a document, no error.
    if (stream.View() != payload) std::abort();
    if (cli.RequestDoneError() != 0) std::abort();
    if (!payload.empty() && docEnds != 1) std::abort();
  }
  return 0;
}
