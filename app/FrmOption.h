#pragma once
// The options dialog: how found items are downloaded, how Flash items are detected, and
// whether the main window stays on top. It works on the in-memory values only; nothing is
// written until the main window closes, and "Always on Top" is never written. "Start with the
// session" is the one exception: OK writes or removes the desktop's start-up entry at once.
#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tavimo {

class Dialogs;
class TFlatCheckBox;
class TFlatRadioButton;
class TSettingsStore;

// The window whose stacking the dialog changes.
class TopmostWindow {
 public:
  virtual ~TopmostWindow() = default;
  virtual bool IsTopmost() const = 0;
  virtual void SetTopmost(bool on) = 0;
};

class TfrmOption : public QDialog {
 public:
  // Reads the current values at once (FormCreate).
  // `dialogs` shows its error box and the error of a failing handler.
  TfrmOption(QWidget* parent, TSettingsStore& values, TopmostWindow& mainWindow, Dialogs& dialogs);

  QTabWidget* PageControl1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  TFlatRadioButton* radCache = nullptr;
  TFlatRadioButton* radNoCache = nullptr;
  TFlatRadioButton* radCopyCache = nullptr;  // disabled and hidden
  QGroupBox* GroupBox2 = nullptr;
  TFlatRadioButton* radSearchPage = nullptr;
  TFlatRadioButton* radSearchCache = nullptr;
  TFlatRadioButton* radListCache = nullptr;
  TFlatRadioButton* radSearchSite = nullptr;  // disabled and hidden; stands for no value
  QGroupBox* GroupBox3 = nullptr;
  TFlatCheckBox* chkStayOntop = nullptr;
  TFlatCheckBox* chkAutostart = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* BitBtn1 = nullptr;  // OK
  QPushButton* BitBtn2 = nullptr;  // Cancel
  QPushButton* BitBtn4 = nullptr;  // Reset

  void FormCreate();
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn4Click();

 private:
  void BuildDownloadPage();
  void BuildDetectPage();
  void BuildOthersPage();

  TSettingsStore& values_;
  TopmostWindow& mainWindow_;
  Dialogs& dialogs_;
  QButtonGroup* downloadGroup_ = nullptr;
  QButtonGroup* detectGroup_ = nullptr;
};

}  // namespace tavimo
