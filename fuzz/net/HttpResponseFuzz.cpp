// Feeds arbitrary server byte streams, cut at arbitrary points, into THttpCli's receive path
// (no socket): it must never crash, hang or lose track of what it delivered.
#include "net/HttpCli.h"
#include "platform/Stream.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  tavimo::THttpCli cli;
  tavimo::TMemoryStream stream;
  cli.RcvdStream = &stream;
  std::int64_t delivered = 0;
  int docBegins = 0;
  const bool failingHandler = in.ConsumeBool();
  int calls = 0;
  cli.OnDocBegin = [&](tavimo::THttpCli*) { ++docBegins; };
  cli.OnDocData = [&](tavimo::THttpCli*, const char* p, std::int32_t n) {
    if (n <= 0 || !p) std::abort();
    delivered += n;
    if (failingHandler && (++calls % 3) == 0) throw std::runtime_error("handler failed");
  };
  cli.OnCookie = [](tavimo::THttpCli*, const std::string&, bool& accept) { accept = false; };

  cli.BeginResponseForTests();
  std::size_t fed = 0;
  while (in.remaining_bytes() > 0) {
    const std::size_t cut = in.ConsumeIntegralInRange<std::size_t>(1, 9000);
    const std::string piece = in.ConsumeBytesAsString(cut);
    fed += piece.size();
    cli.ReceiveForTests(piece.data(), piece.size());
  }
  // Every body byte was counted, stored and reported exactly once, and came from the input.
  if (cli.RcvdCount() != delivered || stream.Size() != delivered) std::abort();
  if (delivered > static_cast<std::int64_t>(fed)) std::abort();
  if (docBegins > 1 + 10) std::abort();
  return 0;
}
