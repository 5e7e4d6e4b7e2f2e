// Drives THttpCli the way the program does, for the side-by-side comparison with curl:
//   net_get_bench null URL         one Get into a null stream
//   net_get_bench file URL PATH    one Get into a file
//   net_get_bench many URL N       N sequential Gets into memory, each on a new connection
// Prints "<seconds> <bytes>" on success (status 200 and the whole body).
#include "net/HttpCli.h"
#include "base/Stream.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s null|file|many URL [PATH|N]\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  tavimo::THttpCli cli;
  cli.SetMultiThreaded(true);
  cli.URL = argv[2];
  std::int64_t bytes = 0;
  const auto t0 = std::chrono::steady_clock::now();
  if (mode == "many") {
    const int n = argc > 3 ? std::atoi(argv[3]) : 1000;
    tavimo::TMemoryStream body;
    cli.RcvdStream = &body;
    for (int i = 0; i < n; ++i) {
      body.Clear();
      cli.Get();
      if (cli.StatusCode() != 200 || cli.RequestDoneError() != 0) return 1;
      bytes += cli.RcvdCount();
    }
  } else {
    std::unique_ptr<tavimo::TStream> sink;
    if (mode == "file")
      sink = std::make_unique<tavimo::TFileStream>(argv[3], tavimo::TFileStream::Mode::Create);
    else sink = std::make_unique<tavimo::TNullStream>();
    cli.RcvdStream = sink.get();
    cli.Get();
    if (cli.StatusCode() != 200 || cli.RequestDoneError() != 0) return 1;  // only whole bodies count
    bytes = cli.RcvdCount();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%.6f %lld\n", seconds, static_cast<long long>(bytes));
  return 0;
}
