#include "app/FrmOption.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

#include "app/SettingsStore.h"
#include "controls/FlatCheckBox.h"
#include "controls/FlatRadioButton.h"
#include "platform/HandlerGuard.h"

namespace tavimo {
namespace {

TFlatRadioButton* Radio(const char* name, const char* caption, QRect bounds, QWidget* parent) {
  auto* r = new TFlatRadioButton(caption, parent);
  r->setObjectName(name);
  r->setGeometry(bounds);
  return r;
}

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

TfrmOption::TfrmOption(QWidget* parent, TSettingsStore& values, TopmostWindow& mainWindow)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      values_(values),
      mainWindow_(mainWindow) {
  setObjectName("frmOption");
  setWindowTitle("Tavimo Options");
  setFixedSize(307, 198);
  move(232, 173);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(0, 0, 297, 145);
  PageControl1->setDocumentMode(true);  // the flat-button look of the tabs
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

  connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
  connect(BitBtn2, &QPushButton::clicked, this, Guarded([this] { BitBtn2Click(); }));
  connect(BitBtn4, &QPushButton::clicked, this, Guarded([this] { BitBtn4Click(); }));

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
  Recommend({152, 24}, GroupBox1);
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
  radSearchCache = Radio("radSearchCache", "List Flash items of this webpage (include cache)",
                         {16, 40, 177, 33}, GroupBox2);
  Recommend({192, 42}, GroupBox2);
  radListCache = Radio("radListCache", "List all Flash items in local cache", {16, 72, 209, 17}, GroupBox2);
  radSearchSite = Radio("radSearchSite", "Detect All Flash Items in This Website", {16, 96, 209, 17}, GroupBox2);
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
  Label3 = new QLabel("Tips:  Press Hotkey F7 to Show/Hide MainForm", GroupBox3);
  Label3->setObjectName("Label3");
  Label3->setGeometry(24, 64, 245, 13);
}

void TfrmOption::FormCreate() {
  chkStayOntop->setChecked(mainWindow_.IsTopmost());
  if (QAbstractButton* b = downloadGroup_->button(values_.DownloadMode)) b->setChecked(true);
  if (QAbstractButton* b = detectGroup_->button(values_.DetectMode)) b->setChecked(true);
}

void TfrmOption::BitBtn1Click() {
  mainWindow_.SetTopmost(chkStayOntop->isChecked());
  // A group without a checked button keeps its value.
  const int download = downloadGroup_->checkedId();
  if (download >= 0 && download <= 2) values_.DownloadMode = download;
  const int detect = detectGroup_->checkedId();
  if (detect >= 0 && detect <= 2) values_.DetectMode = detect;
  accept();
}

void TfrmOption::BitBtn2Click() { reject(); }

void TfrmOption::BitBtn4Click() {
  radCache->setChecked(true);
  radSearchCache->setChecked(true);
  chkStayOntop->setChecked(false);
}

}  // namespace tavimo
