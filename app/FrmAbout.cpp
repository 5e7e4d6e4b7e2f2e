#include "app/FrmAbout.h"

#include <QPainter>

#include "components/MouseImageResources.h"
#include "controls/Image.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

QImage AboutPicture() {
  try {
    return LoadLayoutPicture("about");
  } catch (const std::exception&) {
    // A build without the skin still gets a readable box.
  }
  QImage img(200, 300, QImage::Format_RGB32);
  img.fill(QColor(51, 102, 153));
  QPainter p(&img);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPointSize(16);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 40, 200, 40), Qt::AlignCenter, "Tavimo V4.0");
  f.setPointSize(8);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(16, 100, 168, 160), Qt::AlignHCenter | Qt::TextWordWrap,
             "Finds the Flash movies a web page uses, previews them and saves the ones you "
             "choose into category folders.\n\nClick to close.");
  return img;
}

TfrmAbout::TfrmAbout(QWidget* parent, Dialogs& dialogs)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint),
      dialogs_(dialogs) {
  setObjectName("frmAbout");
  setWindowTitle("About Tavimo");
  Image1 = new TImage(this);
  Image1->setObjectName("Image1");
  Image1->SetAutoSize(true);
  Image1->SetPicture(AboutPicture());
  Image1->move(0, 0);
  setFixedSize(Image1->size());
  move(314, 186);
  Image1->OnClick = [this](QObject*) { RunGuarded(dialogs_, [this] { accept(); }); };
}

}  // namespace tavimo
