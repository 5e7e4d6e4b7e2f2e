#include "app/FrmOption.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <algorithm>

#include "app/SettingsStore.h"
#include "controls/FlatCheckBox.h"
#include "controls/FlatRadioButton.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "platform/SettingsSchema.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {
namespace {

// The laid-out widths were made for a narrower font; a caption never gets clipped.
TFlatRadioButton* Radio(const char* name, const char* caption, QRect bounds, QWidget* parent) {
  auto* r = new TFlatRadioButton(caption, parent);
  r->setObjectName(name);
  bounds.setWidth(std::max(bounds.width(), r->sizeHint().width()));
  r->setGeometry(bounds);
  return r;
}

// A flat radio button whose caption wraps onto a second line when its place is two lines high,
// as the detection option with "(include cache)" needs in this narrow dialog.
class WrappingRadioButton : public TFlatRadioButton {
 public:
  using TFlatRadioButton::TFlatRadioButton;
  QSize sizeHint() const override { return TFlatRadioButton::sizeHint().boundedTo({width(), 1000}); }

 protected:
  void paintEvent(QPaintEvent*) override {
    // The box and the gap of the flat radio button, read from its own size rules.
    const int box = TFlatRadioButton(QString(), nullptr).sizeHint().width() - 1;
    const int gap = TFlatRadioButton::sizeHint().width() - box - 1 - fontMetrics().horizontalAdvance(text());
    const int line = fontMetrics().height();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0.5, (line - box) / 2 + 1.5, box - 1, box - 1);
    p.setBrush(isEnabled() ? ColorFlat() : palette().color(QPalette::Window));
    p.setPen(hasFocus() ? ColorCheck() : ColorBorder());
    p.drawEllipse(circle);
    if (isChecked()) {
      p.setPen(Qt::NoPen);
      p.setBrush(isEnabled() ? ColorCheck() : ColorBorder());
      p.drawEllipse(circle.adjusted(3, 3, -3, -3));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(QRect(box + gap, 1, width() - box - gap, height() - 1),
               Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap | Qt::TextShowMnemonic, text());
  }
};

QLabel* Recommend(QPoint at, QWidget* parent) {
  auto* l = new QLabel("(recommend)", parent);
  l->setStyleSheet("color: rgb(0,128,0);");
  l->move(at);
  l->adjustSize();
  return l;
}

QWidget* Page(QTabWidget* tabs, const char* caption) {
  auto* page = new QWidget;
  tabs->addTab(page, caption);
  return page;
}

}  // namespace

TfrmOption::TfrmOption(QWidget* parent, TSettingsStore& values, TopmostWindow& mainWindow, Dialogs& dialogs)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      values_(values),
      mainWindow_(mainWindow),
      dialogs_(dialogs) {
  setObjectName("frmOption");
  setWindowTitle("Tavimo Options");
  setFixedSize(307, 198);
  move(232, 173);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  setFont(font);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(0, 0, 297, 145);
  // The pages' tabs look like flat buttons.
  PageControl1->setStyleSheet(
      "QTabBar::tab { border: 1px solid rgb(160,158,131); background: rgb(236,233,216);"
      " padding: 3px 12px; margin: 2px 2px 2px 0; }"
      "QTabBar::tab:selected { background: rgb(99,156,206); color: white; }"
      "QTabBar::tab:hover:!selected { background: white; }"
      "QTabWidget::pane { border: 1px solid rgb(160,158,131); top: -1px; }");
  BuildDownloadPage();
  BuildDetectPage();
  BuildOthersPage();

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(16, 160, 75, 25);
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(104, 160, 75, 25);
  BitBtn4 = new QPushButton(style()->standardIcon(QStyle::SP_DialogResetButton), "Reset", this);
  BitBtn4->setObjectName("BitBtn4");
  BitBtn4->setGeometry(192, 160, 75, 25);
  BitBtn4->setAutoDefault(false);
  BitBtn2->setAutoDefault(false);

  connect(BitBtn1, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn1Click(); }));
  connect(BitBtn2, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn2Click(); }));
  connect(BitBtn4, &QPushButton::clicked, this, Guarded(dialogs_, [this] { BitBtn4Click(); }));

  FormCreate();
  PageControl1->setCurrentIndex(1);
  radSearchCache->setFocus();
}

void TfrmOption::BuildDownloadPage() {
  QWidget* page = Page(PageControl1, "Download");
  GroupBox1 = new QGroupBox("Download Options", page);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(4, 4, 281, 110);
  radCache = Radio("radCache", "DownLoad from cache   ", {16, 24, 137, 17}, GroupBox1);
  Recommend({std::max(152, radCache->geometry().right() + 1), 24}, GroupBox1);
  radNoCache = Radio("radNoCache", "Download from internet", {16, 48, 177, 17}, GroupBox1);
  radCopyCache = Radio("radCopyCache", "Copy from Cache Directly", {16, 72, 177, 17}, GroupBox1);
  radCopyCache->setEnabled(false);
  radCopyCache->hide();
  downloadGroup_ = new QButtonGroup(this);
  downloadGroup_->addButton(radCache, 0);
  downloadGroup_->addButton(radNoCache, 1);
  downloadGroup_->addButton(radCopyCache, 2);
}

void TfrmOption::BuildDetectPage() {
  QWidget* page = Page(PageControl1, "Detect");
  GroupBox2 = new QGroupBox("Detect Options", page);
  GroupBox2->setObjectName("GroupBox2");
  GroupBox2->setGeometry(4, 4, 281, 118);
  radSearchPage = Radio("radSearchPage", "Search Flash items in this webpage", {16, 16, 193, 17}, GroupBox2);
  radSearchCache = new WrappingRadioButton("List Flash items of this webpage (include cache)", GroupBox2);
  radSearchCache->setObjectName("radSearchCache");
  radSearchCache->setGeometry(16, 40, 177, 33);
  Recommend({192, 42}, GroupBox2);
  radListCache = Radio("radListCache", "List all Flash items in local cache", {16, 72, 209, 17}, GroupBox2);
  radSearchSite =
      Radio("radSearchSite", "Detect All Flash Items in This Website", {16, 96, 209, 17}, GroupBox2);
  radSearchSite->setEnabled(false);
  radSearchSite->hide();
  detectGroup_ = new QButtonGroup(this);
  detectGroup_->addButton(radSearchPage, 0);
  detectGroup_->addButton(radSearchCache, 1);
  detectGroup_->addButton(radListCache, 2);
  detectGroup_->addButton(radSearchSite, 3);
}

void TfrmOption::BuildOthersPage() {
  QWidget* page = Page(PageControl1, "Others");
  GroupBox3 = new QGroupBox("Other Options", page);
  GroupBox3->setObjectName("GroupBox3");
  GroupBox3->setGeometry(4, 4, 281, 110);
  chkStayOntop = new TFlatCheckBox("Always on Top", GroupBox3);
  chkStayOntop->setObjectName("chkStayOntop");
  chkStayOntop->setGeometry(24, 24, 121, 17);
  chkAutostart = new TFlatCheckBox("Start with the session", GroupBox3);
  chkAutostart->setObjectName("chkAutostart");
  chkAutostart->setGeometry(24, 44, std::max(161, chkAutostart->sizeHint().width()), 17);
  Label3 = new QLabel("Tips:  Press Hotkey F7 to Show/Hide MainForm", GroupBox3);
  Label3->setObjectName("Label3");
  Label3->setGeometry(24, 64, 245, 30);
  Label3->setWordWrap(true);
  Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TfrmOption::FormCreate() {
  chkStayOntop->setChecked(mainWindow_.IsTopmost());
  chkAutostart->setChecked(AutostartEnabled());
  if (QAbstractButton* b = downloadGroup_->button(values_.DownloadMode)) b->setChecked(true);
  if (QAbstractButton* b = detectGroup_->button(values_.DetectMode)) b->setChecked(true);
}

void TfrmOption::BitBtn1Click() {
  mainWindow_.SetTopmost(chkStayOntop->isChecked());
  // The entry on disk is the setting, so it is touched only when the box changed: an entry the
  // user edited stays as it is.
  if (chkAutostart->isChecked() != AutostartEnabled()) {
    std::string error;
    if (!SetAutostart(chkAutostart->isChecked(), RunningProgramPath(), error)) {
      dialogs_.ShowMessage(this, "Tavimo Options", error, MessageIcon::Error);
    }
  }
  // A group without a checked button keeps its value; a button of no mode (radSearchSite) too.
  if (const int download = downloadGroup_->checkedId(); IsMode(Setting::DownloadOption, download))
    values_.DownloadMode = download;
  if (const int detect = detectGroup_->checkedId(); IsMode(Setting::DetectOption, detect))
    values_.DetectMode = detect;
  accept();
}

void TfrmOption::BitBtn2Click() { reject(); }

void TfrmOption::BitBtn4Click() {
  // The settings' defaults, the options marked "(recommend)": radCache and radSearchCache.
  downloadGroup_->button(DefaultValue(Setting::DownloadOption))->setChecked(true);
  detectGroup_->button(DefaultValue(Setting::DetectOption))->setChecked(true);
  chkStayOntop->setChecked(false);
  chkAutostart->setChecked(false);
}

}  // namespace tavimo
