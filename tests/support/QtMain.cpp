// GoogleTest main with a QApplication, for suites whose code runs in Qt's event loop.
// Without a platform chosen (test discovery, net suites) it runs offscreen; the desktop runner
// chooses xcb itself.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
