// GoogleTest main with a QApplication, for suites whose code runs in Qt's event loop.
// Without a platform chosen (test discovery, net suites) it runs offscreen; the desktop runner
// chooses xcb itself. One known font keeps text measurements independent of the desktop.
#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);
  QApplication::setFont(font);
  return RUN_ALL_TESTS();
}
