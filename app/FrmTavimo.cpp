// The main window's layout: every control with its name, kind and bounds.
#include "components/IECache.h"
#include "sources/cache/UrlCacheStore.h"
#include "app/FrmTavimo.h"
#include "app/SkinPreload.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>

#include "components/DropURLTarget.h"
#include "components/MouseEffectImage.h"
#include "components/MouseImage.h"
#include "components/MouseImageResources.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatEdit.h"
#include "controls/FlatGauge.h"
#include "controls/FlatHintWindow.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "controls/FlatTitlebar.h"
#include "app/FrmTavimoPorts.h"
#include "app/ItemList.h"
#include "detect/MemoLines.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"
#include "platform/Paths.h"

namespace tavimo {
namespace {

const QColor kBackground(236, 233, 216);  // 14215660
const QColor kLightBlue(99, 156, 206);    // 13540451
const QColor kFrameGrey(160, 150, 131);   // 8623776
const QColor kTeal(0, 128, 128);

// A picture drawn here stands in when the skin lacks one, so a partial skin never leaves a
// hole in the window.
QImage Placeholder(QSize size, const QString& label, const QColor& face) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(face);
  QPainter p(&img);
  p.setPen(face.lightness() > 128 ? QColor(51, 102, 153) : Qt::white);
  QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  f.setPointSize(8);
  f.setBold(true);
  p.setFont(f);
  p.drawText(img.rect(), Qt::AlignCenter, label);
  return img;
}

QImage LayoutPicture(const QString& name, QSize size, const QString& label, const QColor& face) {
  if (auto preloaded = PreloadedLayoutPicture(name)) return *preloaded;
  try {
    QImage img = LoadLayoutPicture(name);
    if (!img.isNull()) return img;
  } catch (const std::exception&) {
  }
  return Placeholder(size, label, face);
}

QImage ButtonPicture(const QString& name, QSize size, const QString& label) {
  if (auto preloaded = PreloadedButtonPicture(name)) return *preloaded;
  try {
    if (HasJpegResource(name)) return LoadJpegResource(name);
  } catch (const std::exception&) {
  }
  return Placeholder(size, label, kLightBlue);
}

template <typename T>
T* Place(T* control, const char* name, QRect bounds) {
  control->setObjectName(name);
  control->setGeometry(bounds);
  return control;
}

TImage* Picture(QWidget* parent, const char* name, QRect bounds, const QImage& picture) {
  auto* img = Place(new TImage(parent), name, bounds);
  img->SetPicture(picture);
  return img;
}

TMouseImage* SkinButton(QWidget* parent, const char* name, QRect bounds, const char* picture,
                        const QString& label) {
  auto* b = Place(new TMouseImage(parent), name, bounds);
  b->SetPicture(ButtonPicture(picture, bounds.size(), label));
  return b;
}

// The skin picture, then whatever the window paints over it (the preview frame).
class BackgroundImage : public TImage {
 public:
  BackgroundImage(QWidget* parent, std::function<void(QPainter&)> paintOver)
      : TImage(parent), paintOver_(std::move(paintOver)) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    TImage::paintEvent(event);
    QPainter painter(this);
    paintOver_(painter);  // guarded by the window
  }

 private:
  std::function<void(QPainter&)> paintOver_;
};

// The preview area as it looks while no movie plays: a quiet screen saying what it is for. The
// player draws over it.
class PreviewArea : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, QColor(252, 252, 250));
    shade.setColorAt(1, QColor(226, 236, 246));
    p.fillRect(rect(), shade);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0 - 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(99, 156, 206, 90));
    p.drawEllipse(centre, 22, 22);
    p.setBrush(QColor(255, 255, 255, 230));
    const QPointF play[] = {centre + QPointF(-7, -11), centre + QPointF(12, 0), centre + QPointF(-7, 11)};
    p.drawPolygon(play, 3);
    p.setPen(QColor(51, 102, 153, 190));
    p.drawText(QRect(0, height() / 2 + 16, width(), 20), Qt::AlignCenter, "Click a Flash item to preview it");
  }
};

}  // namespace

FrmTavimoSetup::FrmTavimoSetup()
    : SettingsFile(SettingsFilePath()),
      LinkListFile(LinkListFilePath()),
      PlayerFactory(DefaultFlashPlayerFactory()) {}

TFrmTavimo::TFrmTavimo(FrmTavimoSetup setup)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      setup_(std::move(setup)),
      ownDialogs_(setup_.Dialogs ? nullptr : std::make_unique<QtDialogs>()),
      dialogs_(setup_.Dialogs ? *setup_.Dialogs : *ownDialogs_) {
  if (!setup_.Registry) {
    ownRegistry_ = std::make_unique<EnvRegistrySource>(HelpPagePath());
    setup_.Registry = ownRegistry_.get();
  }
  if (setup_.Created) setup_.Created(this);
  settings_ = std::make_unique<TSettingsStore>(setup_.SettingsFile, *setup_.Registry, *this);
  if (!setup_.PlayerFactory) setup_.PlayerFactory = DefaultFlashPlayerFactory();

  BuildLayout();
  BuildMenus();
  BuildComponents();
  BuildTrayIcon();
  ConnectHandlers();
  // The window sees every key and right-button press first (key preview, player area).
  qApp->installEventFilter(this);
  RunGuarded(dialogs_, [this] { FormCreate(); });
  // Loaded: the tray icon appears now, whether the window is shown or starts hidden.
  RxTrayIcon1->Loaded();
}

TFrmTavimo::~TFrmTavimo() = default;

void TFrmTavimo::BuildLayout() {
  setObjectName("FrmTavimo");
  setWindowTitle(kMainCaption);
  setFixedSize(563, 472);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBackground);
  setPalette(pal);
  setAutoFillBackground(true);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  setFont(font);
  if (TFlatHintWindow* hints = TFlatHintWindow::Install()) hints->SetArrowBackgroundColor(kLightBlue);

  auto paintOver = [this](QPainter& p) { RunGuarded(dialogs_, [&] { FormPaint(p); }); };
  backimg = Place(new BackgroundImage(this, paintOver), "backimg", {0, 0, 563, 472});
  backimg->SetPicture(LayoutPicture("backimg", {563, 472}, QString(), kBackground));

  Titlebar1 = new TFlatTitlebar(this);
  Place(Titlebar1, "Titlebar1", {136, 4, 401, 20});
  Titlebar1->SetTitlebarColor(Qt::white);
  Titlebar1->SetActiveTextColor(QColor(48, 144, 207));
  Titlebar1->SetInactiveTextColor(QColor(162, 154, 130));
  butinfo = SkinButton(Titlebar1, "butinfo", {311, 0, 21, 21}, "INFO0", "i");
  butquestion = SkinButton(Titlebar1, "butquestion", {332, 0, 21, 21}, "QUESTION0", "?");
  butmini = SkinButton(Titlebar1, "butmini", {353, 0, 21, 21}, "MINI0", "_");
  butclose = SkinButton(Titlebar1, "butclose", {374, 0, 21, 21}, "CLOSE0", "x");

  FlatPanel1 = Place(new TFlatPanel(this), "FlatPanel1", {28, 54, 501, 131});
  FlatPanel1->SetColor(kTeal);
  FlatPanel1->SetColorHighLight(kLightBlue);
  FlatPanel1->SetColorShadow(Qt::black);
  Items = new TItemList(*FlatPanel1, dialogs_);

  imgpreviewy = Picture(this, "imgpreviewy", {100, 192, 20, 22},
                        LayoutPicture("imgpreviewy", {20, 22}, "Y", kLightBlue));
  imgpreviewy->setToolTip("Whether to Preview Flash Files In the Below Area");
  imgpreviewn = Picture(this, "imgpreviewn", {100, 192, 20, 22},
                        LayoutPicture("imgpreviewn", {20, 22}, "N", kBackground));
  imgpreviewn->setToolTip("Whether to Preview Flash Files In the Below Area");

  butdownload = SkinButton(this, "butdownload", {416, 200, 109, 28}, "DOWNLOAD0", "Download");

  PlayerArea = Place(new PreviewArea(this), "myplayer", {31, 223, 248, 131});
  PlayerArea->setAutoFillBackground(true);
  QPalette playerPal = PlayerArea->palette();
  playerPal.setColor(QPalette::Window, Qt::white);
  PlayerArea->setPalette(playerPal);
  myplayer = setup_.PlayerFactory(PlayerArea);

  lstclass = Place(new TFlatListBox(this), "lstclass", {302, 247, 193, 100});
  lstclass->setToolTip("Rightclick to add/remove a category.");
  lstclass->setContextMenuPolicy(Qt::CustomContextMenu);
  for (const std::string& c : DefaultCategories()) lstclass->addItem(QString::fromStdString(c));

  Memo1 = Place(new QPlainTextEdit(this), "Memo1", {416, 247, 25, 18});
  Memo1->hide();

  Image1 = Picture(this, "Image1", {61, 352, 202, 22},
                   LayoutPicture("Image1", {202, 22}, "Tavimo - Flash finder", kLightBlue));
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->setToolTip("Cool enough for E-age?");

  edtdowndir = Place(new TFlatEdit(this), "edtdowndir", {304, 362, 105, 18});
  edtdowndir->setText(QString::fromStdString(DefaultDownloadRoot()));
  butchange = SkinButton(this, "butchange", {424, 360, 69, 21}, "CHANGE0", "Change");

  MouseEffectImage1 = Place(new TMouseEffectImage(this), "MouseEffectImage1", {52, 378, 90, 24});
  MouseEffectImage1->SetOverPicture(LayoutPicture("MouseEffectImage1_over", {90, 24}, "Options", kLightBlue));
  MouseEffectImage1->SetDownPicture(
      LayoutPicture("MouseEffectImage1_down", {90, 24}, "Options", QColor(51, 102, 153)));
  MouseEffectImage1->SetOriginPicture(LayoutPicture("MouseEffectImage1", {90, 24}, "Options", kBackground));
  MouseEffectImage1->RevertOnLeave = false;

  imgautoclosey = Picture(this, "imgautoclosey", {210, 381, 20, 22},
                          LayoutPicture("imgautoclosey", {20, 22}, "Y", kLightBlue));
  imgautoclosen = Picture(this, "imgautoclosen", {210, 381, 20, 22},
                          LayoutPicture("imgautoclosen", {20, 22}, "N", kBackground));

  Gauge1 = Place(new TFlatGauge(this), "Gauge1", {24, 408, 513, 13});
  Gauge1->SetProgress(0);
  Gauge1->SetColorBorder(kFrameGrey);
  statubar = Place(new TFlatPanel(this), "statubar", {24, 408, 513, 13});
  statubar->SetColorHighLight(kFrameGrey);
  statubar->SetColorShadow(kFrameGrey);
  statubar->SetColor(kBackground);
  statubar->SetCaption("i d l e");

  butRefresh =
      Picture(this, "butRefresh", {21, 437, 23, 23}, LayoutPicture("butRefresh", {23, 23}, "R", kLightBlue));
  butRefresh->setCursor(Qt::PointingHandCursor);
  edturl = Place(new TFlatEdit(this), "edturl", {48, 440, 425, 19});
  edturl->setMouseTracking(true);
  butgo = SkinButton(this, "butgo", {482, 438, 46, 21}, "GO0", "Go");

  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(1000);
}

}  // namespace tavimo
