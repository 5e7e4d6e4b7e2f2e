// A second X client for the desktop drop tests: a small window that starts a drag on a mouse
// press, carrying what a browser puts on a link drag.
//   tavimo_drag_source --place X,Y,W,H [--actions copy,move,link]
//                      [--link URL TITLE] [--format MIME TEXT] [--format16 MIME TEXT]
// --link adds what Firefox and Chromium offer for a link: text/x-moz-url (UTF-16LE, address
// and title on two lines), _NETSCAPE_URL (the same in UTF-8), text/uri-list and text/plain.
// --format adds one type as UTF-8 bytes, --format16 as UTF-16LE. Prints "ready" once the
// window is shown and "done <action>" when the drag ends, then quits.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string>

namespace {

QByteArray Utf16Le(const QString& text) {
  QByteArray out;
  for (QChar c : text) {
    out.append(static_cast<char>(c.unicode() & 0xFF));
    out.append(static_cast<char>(c.unicode() >> 8));
  }
  return out;
}

class SourceWindow : public QWidget {
 public:
  SourceWindow(QList<QPair<QString, QByteArray>> formats, Qt::DropActions actions)
      : formats_(std::move(formats)), actions_(actions) {}

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    for (const auto& [type, bytes] : formats_) mime->setData(type, bytes);
    drag->setMimeData(mime);
    const Qt::DropAction result = drag->exec(actions_);
    std::printf("done %d\n", static_cast<int>(result));
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QApplication::quit);
  }

 private:
  QList<QPair<QString, QByteArray>> formats_;
  Qt::DropActions actions_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  QRect geometry(0, 0, 100, 100);
  Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QList<QPair<QString, QByteArray>> formats;
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--place" && i + 1 < args.size()) {
      const QStringList v = args[++i].split(',');
      if (v.size() == 4) geometry = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
    } else if (a == "--actions" && i + 1 < args.size()) {
      actions = {};
      for (const QString& name : args[++i].split(',')) {
        if (name == "copy") actions |= Qt::CopyAction;
        if (name == "move") actions |= Qt::MoveAction;
        if (name == "link") actions |= Qt::LinkAction;
      }
    } else if (a == "--link" && i + 2 < args.size()) {
      const QString url = args[i + 1], title = args[i + 2];
      i += 2;
      formats.append({"text/x-moz-url", Utf16Le(url + "\n" + title)});
      formats.append({"_NETSCAPE_URL", (url + "\n" + title).toUtf8()});
      formats.append({"text/uri-list", (url + "\r\n").toUtf8()});
      formats.append({"text/plain", url.toUtf8()});
    } else if ((a == "--format" || a == "--format16") && i + 2 < args.size()) {
      formats.append({args[i + 1], a == "--format" ? args[i + 2].toUtf8() : Utf16Le(args[i + 2])});
      i += 2;
    }
  }
  SourceWindow window(formats, actions);
  window.setWindowTitle("tavimo drag source");
  window.setGeometry(geometry);
  window.show();
  QTimer::singleShot(200, [] {
    std::printf("ready\n");
    std::fflush(stdout);
  });
  return app.exec();
}
