// The net suites need a Qt event loop (the sockets' notices and the clients' messages are Qt
// events) and trust the test CA through the TLS layer's test hook.
#include "net/SslLayer.h"
#include "tests/support/TestServer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  tavimo::TSslLayer::AddTrustedCaForTests(tavimo::test::Pki().caCertPem);
  return RUN_ALL_TESTS();
}
