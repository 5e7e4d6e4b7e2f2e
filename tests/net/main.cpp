// The net suites need a Qt event loop (the sockets' notices and the clients' messages are Qt
// events). The test CA is trusted per client (tests/net/TestCa.h), never process-wide.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
