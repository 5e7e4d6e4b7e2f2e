// Writes the program's icon in the desktop's icon sizes from the skin's tray icon picture, so
// the launcher shows the same picture as the notification area:
//   tavimo_icongen <trayicon.jpg> <out dir> 16 32 48 ...  ->  <out dir>/<n>x<n>/apps/tavimo.png
#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the image format plugins (JPEG) need the application
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s PICTURE OUTDIR SIZE...\n", argv[0]);
    return 2;
  }
  const QImage picture(QString::fromLocal8Bit(argv[1]));
  if (picture.isNull()) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0) return 2;
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
    const QImage icon = picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    if (!QDir().mkpath(dir) || !icon.save(dir + QStringLiteral("/tavimo.png"), "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
