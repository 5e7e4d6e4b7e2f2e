// The yardstick: the smallest Qt Widgets program that shows a window of Tavimo's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Minimal Qt window");
  window.setFixedSize(563, 472);
  window.show();
  return app.exec();
}
