#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <sys/stat.h>

#include "app/FrmAbout.h"
#include "components/MouseEffectImage.h"
#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatGauge.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "controls/FlatTitlebar.h"
#include "app/ItemList.h"
#include "desktop/HandlerGuard.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using MainWindowTest = FormTest;

TEST_F(MainWindowTest, LayoutHasEveryControlWhereTheProgramExpectsIt) {
  TFrmTavimo& f = Form();
  EXPECT_EQ(f.windowTitle(), "Tavimo V4.0");
  EXPECT_EQ(f.size(), QSize(563, 472));
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
  const struct {
    QWidget* control;
    const char* name;
    QRect bounds;
  } expected[] = {
      {f.backimg, "backimg", {0, 0, 563, 472}},
      {f.Titlebar1, "Titlebar1", {136, 4, 401, 20}},
      {f.butinfo, "butinfo", {311, 0, 21, 21}},
      {f.butquestion, "butquestion", {332, 0, 21, 21}},
      {f.butmini, "butmini", {353, 0, 21, 21}},
      {f.butclose, "butclose", {374, 0, 21, 21}},
      {f.FlatPanel1, "FlatPanel1", {28, 54, 501, 131}},
      {f.imgpreviewy, "imgpreviewy", {100, 192, 20, 22}},
      {f.imgpreviewn, "imgpreviewn", {100, 192, 20, 22}},
      {f.butdownload, "butdownload", {416, 200, 109, 28}},
      {f.PlayerArea, "myplayer", {31, 223, 248, 131}},
      {f.lstclass, "lstclass", {302, 247, 193, 100}},
      {f.Memo1, "Memo1", {416, 247, 25, 18}},
      {f.Image1, "Image1", {61, 352, 202, 22}},
      {f.edtdowndir, "edtdowndir", {304, 362, 105, 18}},
      {f.butchange, "butchange", {424, 360, 69, 21}},
      {f.imgautoclosey, "imgautoclosey", {210, 381, 20, 22}},
      {f.imgautoclosen, "imgautoclosen", {210, 381, 20, 22}},
      {f.Gauge1, "Gauge1", {24, 408, 513, 13}},
      {f.statubar, "statubar", {24, 408, 513, 13}},
      {f.butRefresh, "butRefresh", {21, 437, 23, 23}},
      {f.edturl, "edturl", {48, 440, 425, 19}},
      {f.butgo, "butgo", {482, 438, 46, 21}},
  };
  for (const auto& e : expected) {
    ASSERT_NE(e.control, nullptr) << e.name;
    EXPECT_EQ(e.control->objectName(), e.name);
    EXPECT_EQ(e.control->geometry(), e.bounds) << e.name;
  }
  EXPECT_EQ(f.butinfo->parentWidget(), f.Titlebar1);
  EXPECT_TRUE(f.Memo1->isHidden());
  EXPECT_EQ(f.statubar->Caption(), "i d l e");
  EXPECT_EQ(f.Gauge1->Progress(), 0);
  EXPECT_FALSE(f.Timer2->isActive());
  EXPECT_EQ(f.Timer2->interval(), 1000);
  EXPECT_EQ(f.MouseEffectImage1->geometry().topLeft(), QPoint(52, 378));
  // The status panel lies over the gauge.
  EXPECT_GT(f.children().indexOf(f.statubar), f.children().indexOf(f.Gauge1));
  // Skin names, the change button without a pressed picture.
  EXPECT_EQ(f.butgo->DownPictureName, "go2");
  EXPECT_EQ(f.butchange->OverPictureName, "change1");
  EXPECT_TRUE(f.butchange->DownPictureName.isEmpty());
}

TEST_F(MainWindowTest, CreationLoadsSettingsAndRunsEveryStep) {
  WriteFile(
      SettingsFilePath(),
      "[options]\nispreview=0\nautoclose=1\nDownloadOption=3\n[classes]\nclassnum=2\nclass0=A\nclass1=B\n");
  WriteFile(home / "Downloads/.keep", "");  // the start creates the root one level deep
  TFrmTavimo& f = Form();
  EXPECT_TRUE(dialogs.Messages.empty());
  EXPECT_TRUE(FileExists(home / "Downloads/flash"));
  EXPECT_EQ(f.Settings().DownloadMode, 2);
  EXPECT_EQ(f.CategoryItems(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(f.lstclass->currentRow(), 0);
  EXPECT_EQ(f.edtdowndir->text().toStdString(), home / "Downloads/flash/");
  EXPECT_FALSE(f.imgpreviewy->isVisibleTo(&f));
  EXPECT_TRUE(f.imgpreviewn->isVisibleTo(&f));
  EXPECT_TRUE(f.imgautoclosey->isVisibleTo(&f));
  EXPECT_FALSE(f.imgautoclosen->isVisibleTo(&f));
  EXPECT_EQ(f.Items->ListView1->frameShape(), QFrame::NoFrame);
  EXPECT_TRUE(f.HotKeysRegistered());
  EXPECT_FALSE(f.StartHidden());
  EXPECT_TRUE(Form("-mini").StartHidden());
  EXPECT_FALSE(Form("-MINI").StartHidden());
}

TEST_F(MainWindowTest, FailingCreationStepIsShownAndSkipsTheRest) {
  registry.Remove(kInternetSettingsKey, "ProxyEnable");
  TFrmTavimo& f = Form();
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text, "Failed to get data for 'ProxyEnable'");
  EXPECT_EQ(dialogs.Messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(f.butgo->NormalPictureName, "go0");  // the steps before it ran
  EXPECT_FALSE(f.HotKeysRegistered());           // the step after it did not
}

// A component whose event handler fails half-way, the way a component raises an error.
class FailingComponent : public QObject {
 public:
  static QEvent::Type Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  bool reachedEnd = false;
  int handled = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != Kind()) return QObject::event(e);
    ++handled;
    if (handled == 1) throw std::runtime_error("Cannot create file /nowhere/x.swf");
    reachedEnd = true;
    return true;
  }
};

TEST_F(MainWindowTest, ExceptionInHandlerIsShownThroughTheSeamAndTheProgramGoesOn) {
  FailingComponent component;
  QEvent first(FailingComponent::Kind());
  QCoreApplication::sendEvent(&component, &first);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text, "Cannot create file /nowhere/x.swf");
  EXPECT_FALSE(component.reachedEnd);
  // Posted events keep flowing afterwards.
  QCoreApplication::postEvent(&component, new QEvent(FailingComponent::Kind()));
  QCoreApplication::processEvents();
  EXPECT_TRUE(component.reachedEnd);
  EXPECT_EQ(dialogs.Messages.size(), 1u);

  // A guarded handler on the window: a help path of the wrong type stops before the shell.
  registry.Set(kTavimoKey, "helppath", RegBinary{});
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QTest::mouseClick(f.butquestion, Qt::LeftButton);
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_EQ(dialogs.Messages[1].text, "Invalid data type for 'helppath'");
  EXPECT_TRUE(dialogs.Opened.empty());
}

TEST_F(MainWindowTest, EscInTheAddressFieldHidesAndClears) {
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.Items->AppendItem("http://h/a.swf", "a.swf");
  f.edturl->setFocus();
  f.edturl->setText("http://h/page.htm");
  playerLog.clear();
  QTest::keyClick(f.edturl, Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.Items->Count(), 0);
  EXPECT_EQ(f.Items->ListView2->topLevelItemCount(), 0);
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Movie:blank.swf", "Stop"}));
  EXPECT_FALSE(FileExists(SettingsFilePath()));  // hiding never closes or saves
  EXPECT_EQ(f.edturl->text(), "http://h/page.htm");
}

TEST_F(MainWindowTest, EscInAnOwnedDialogLeavesTheWindowAlone) {
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.Items->AppendItem("http://h/a.swf", "a.swf");
  TfrmAbout about(&f, dialogs);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.Items->Count(), 1);
}

TEST_F(MainWindowTest, WindowButtonsAndMinimiseHide) {
  TFrmTavimo& f = Form();
  for (TMouseImage* button : {f.butclose, f.butmini}) {
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.Items->AppendItem("http://h/a.swf", "a.swf");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(f.isVisible()) << button->objectName().toStdString();
    EXPECT_EQ(f.Items->Count(), 0);
  }
  // Minimising hides the window but keeps the list.
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.Items->AppendItem("http://h/a.swf", "a.swf");
  f.setWindowState(Qt::WindowMinimized);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.Items->Count(), 1);
  f.show();
  EXPECT_FALSE(f.windowState() & Qt::WindowMinimized);
}

TEST_F(MainWindowTest, CloseDeletesLinkListSavesSettingsAndDestroysPlayer) {
  TFrmTavimo& f = Form();
  WriteFile(LinkListFilePath(), "http://h/a.swf\r\n");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QTest::mouseClick(f.imgautoclosey, Qt::LeftButton);
  EXPECT_FALSE(f.Settings().AutoClose);
  EXPECT_TRUE(f.close());
  EXPECT_FALSE(FileExists(LinkListFilePath()));
  const std::string ini = ReadFile(SettingsFilePath());
  EXPECT_NE(ini.find("autoclose=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("class3=Fun"), std::string::npos) << ini;
  EXPECT_EQ(f.myplayer, nullptr);
  EXPECT_EQ(playerLog.back(), "destroyed");
  EXPECT_FALSE(f.HotKeysRegistered());
}

TEST_F(MainWindowTest, UnwritableSettingsStopTheCloseUnlessExiting) {
  TFrmTavimo& f = Form();
  // A file where the settings folder should be makes every write fail.
  const std::string folder = home / "config/tavimo";
  std::remove((folder + "/info.ini").c_str());
  ::rmdir(folder.c_str());
  WriteFile(folder, "not a folder");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_FALSE(f.close());
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text.rfind("Unable to write to ", 0), 0u) << dialogs.Messages[0].text;
  EXPECT_TRUE(f.isVisible());
  EXPECT_NE(f.myplayer, nullptr);  // the steps after the save did not run
  EXPECT_TRUE(f.HotKeysRegistered());

  f.Close1Click();  // Exit ends the program all the same
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(dialogs.Messages.size(), 2u);
}

TEST_F(MainWindowTest, TogglesSwapPicturesAndDrivePreview) {
  TFrmTavimo& f = Form();
  f.Items->AppendItem("http://h/a.swf", "a.swf");
  f.Items->AppendItem("http://h/b.swf", "b.swf");
  f.imgpreviewyClick();
  EXPECT_FALSE(f.Settings().IsPreview);
  EXPECT_TRUE(f.imgpreviewn->isVisibleTo(&f));
  EXPECT_FALSE(f.imgpreviewy->isVisibleTo(&f));
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Stop"}));  // the movie stays loaded

  playerLog.clear();
  f.imgpreviewnClick();  // nothing selected: only stops
  EXPECT_TRUE(f.Settings().IsPreview);
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Stop"}));

  // Row 0 selected in the URL list, row 1 last clicked (in the name list): row 1 plays.
  f.Items->ListView1->topLevelItem(0)->setSelected(true);
  f.Items->SelectedRow = 1;
  f.imgpreviewyClick();
  playerLog.clear();
  f.imgpreviewnClick();
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Stop", "Movie:http://h/b.swf", "Play"}));

  // A SelectedRow left from a longer list names no row: nothing to play.
  f.Items->SelectedRow = 7;
  f.imgpreviewyClick();
  playerLog.clear();
  f.imgpreviewnClick();
  EXPECT_EQ(playerLog, (std::vector<std::string>{"Stop"}));

  f.imgautocloseyClick();
  EXPECT_FALSE(f.Settings().AutoClose);
  f.imgautoclosenClick();
  EXPECT_TRUE(f.Settings().AutoClose);
  EXPECT_TRUE(f.imgautoclosey->isVisibleTo(&f));
  EXPECT_FALSE(f.imgautoclosen->isVisibleTo(&f));
}

TEST_F(MainWindowTest, BusyAnimationCyclesSixtyToEighty) {
  TFrmTavimo& f = Form();
  f.Gauge1->SetProgress(50);
  std::vector<int> seen;
  for (int i = 0; i < 7; ++i) {
    f.Timer2Timer();
    seen.push_back(f.Gauge1->Progress());
  }
  EXPECT_EQ(seen, (std::vector<int>{60, 70, 80, 60, 70, 80, 60}));
  EXPECT_TRUE(f.statubar->isHidden());
}

TEST_F(MainWindowTest, PlayerFrameAndRightButtonSwallow) {
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const QImage shot = f.grab().toImage();
  const QColor green(0, 128, 0);
  // Touches the player on the left and top, one pixel off on the right and bottom.
  EXPECT_EQ(shot.pixelColor(30, 222), green);
  EXPECT_EQ(shot.pixelColor(150, 222), green);
  EXPECT_EQ(shot.pixelColor(280, 300), green);
  EXPECT_EQ(shot.pixelColor(280, 355), green);
  EXPECT_EQ(shot.pixelColor(30, 355), green);
  EXPECT_NE(shot.pixelColor(279, 300), green);

  // A control inside the player area never sees a right-button press; a left one it does.
  struct Probe : QWidget {
    using QWidget::QWidget;
    std::vector<Qt::MouseButton> presses;
    int menus = 0;
    void mousePressEvent(QMouseEvent* e) override { presses.push_back(e->button()); }
    void contextMenuEvent(QContextMenuEvent*) override { ++menus; }
  };
  auto* probe = new Probe(f.PlayerArea);
  probe->resize(248, 131);
  probe->show();
  QTest::mouseClick(probe, Qt::RightButton);
  QTest::mouseClick(probe, Qt::LeftButton);
  EXPECT_EQ(probe->presses, (std::vector<Qt::MouseButton>{Qt::LeftButton}));
  EXPECT_EQ(probe->menus, 0);

  // Right clicks elsewhere reach their controls: the category list asks for its menu.
  int asked = 0;
  QObject::connect(f.lstclass, &QWidget::customContextMenuRequested, [&] { ++asked; });
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, {5, 5},
                              f.lstclass->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(f.lstclass->viewport(), &menuEvent);
  EXPECT_EQ(asked, 1);
  f.PopupMenu1->hide();
}

TEST_F(MainWindowTest, AboutHelpAndWebLinkGoThroughTheSeam) {
  TFrmTavimo& f = Form();
  f.butinfoClick();
  f.butinfoClick();
  ASSERT_EQ(dialogs.Shown.size(), 2u);
  EXPECT_NE(dialogs.Shown[0], dialogs.Shown[1]);  // a new box each time
  EXPECT_EQ(dialogs.Shown[0]->windowTitle(), "About Tavimo");
  EXPECT_EQ(dialogs.Shown[0]->size(), QSize(200, 300));
  EXPECT_EQ(dialogs.Shown[0]->pos(), QPoint(314, 186));

  f.butquestionClick();
  f.Image1Click();
  ASSERT_EQ(dialogs.Opened.size(), 2u);
  EXPECT_EQ(dialogs.Opened[0], "/usr/share/doc/tavimo/help.html");
  EXPECT_NE(dialogs.Opened[1].find("#about"), std::string::npos);

  EXPECT_TRUE(dialogs.Messages.empty());

  // When nothing can open the page, the user is told where it is.
  dialogs.ShellOpenWorks = false;
  f.butquestionClick();
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_NE(dialogs.Messages[0].text.find("/usr/share/doc/tavimo/help.html"), std::string::npos);
  registry.Remove(kTavimoKey, "helppath");  // absent: said too, never silence
  dialogs.ShellOpenWorks = true;
  f.butquestionClick();
  EXPECT_EQ(dialogs.Opened.back(), "");
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_NE(dialogs.Messages[1].text.find("help page was not found"), std::string::npos);
}

}  // namespace
}  // namespace tavimo::test
