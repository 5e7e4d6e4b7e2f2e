#pragma once
// The test CA, trusted per client: written once to a file that NetServices hands in.
#include "net/NetServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {

inline NetServices TestCa() {
  static TempDir dir;
  static const std::string file = [] {
    WriteFile(dir / "ca.pem", Pki().caCertPem);
    return dir / "ca.pem";
  }();
  NetServices services;
  services.ExtraCaFile = file;
  return services;
}

}  // namespace tavimo::test
