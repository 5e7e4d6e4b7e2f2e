#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <unistd.h>

#include <algorithm>

#include "app/Categories.h"
#include "app/FrmOption.h"
#include "app/Frmnewclass.h"
#include "app/ItemList.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "controls/FlatCheckBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "controls/FlatRadioButton.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using OptionsTest = FormTest;

// Opens the options dialog as the window does and lets `user` work it.
void OpenOptions(TFrmTavimo& f, RecordingDialogs& dialogs, const std::function<void(TfrmOption&)>& user) {
  dialogs.Script = [&](QDialog& d) {
    auto& o = dynamic_cast<TfrmOption&>(d);
    user(o);
    return o.result();
  };
  f.MouseEffectImage1Click();
  dialogs.Script = nullptr;
}

TEST_F(OptionsTest, OkAppliesCancelAndResetDoNot) {
  TFrmTavimo& f = Form();
  f.Settings().DownloadMode = 1;
  f.Settings().DetectMode = 0;
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_EQ(o.windowTitle(), "Tavimo Options");
    EXPECT_EQ(o.PageControl1->tabText(o.PageControl1->currentIndex()), "Detect");
    EXPECT_TRUE(o.radNoCache->isChecked());
    EXPECT_TRUE(o.radSearchPage->isChecked());
    EXPECT_FALSE(o.chkStayOntop->isChecked());
    o.BitBtn4->click();  // Reset: defaults shown, dialog stays open
    EXPECT_TRUE(o.radCache->isChecked());
    EXPECT_TRUE(o.radSearchCache->isChecked());
    EXPECT_TRUE(o.isVisible() || o.result() == 0);
    o.BitBtn2->click();  // Cancel
  });
  EXPECT_EQ(f.Settings().DownloadMode, 1);
  EXPECT_EQ(f.Settings().DetectMode, 0);

  OpenOptions(f, dialogs, [](TfrmOption& o) {
    o.radCache->click();
    o.radListCache->click();
    EXPECT_FALSE(o.radSearchPage->isChecked());  // one per group
    EXPECT_TRUE(o.radCache->isChecked());
    o.BitBtn1->click();
  });
  EXPECT_EQ(f.Settings().DownloadMode, 0);
  EXPECT_EQ(f.Settings().DetectMode, 2);

  // The next opening shows what the last OK applied.
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_TRUE(o.radListCache->isChecked());
    o.BitBtn4->click();
    o.BitBtn1->click();
  });
  EXPECT_EQ(f.Settings().DownloadMode, 0);
  EXPECT_EQ(f.Settings().DetectMode, 1);
  EXPECT_EQ(dialogs.Shown.size(), 3u);
}

TEST_F(OptionsTest, HiddenCopyFromCacheSurvivesOk) {
  WriteFile(SettingsFilePath(), "[options]\nDownloadOption=3\n");
  TFrmTavimo& f = Form();
  ASSERT_EQ(f.Settings().DownloadMode, 2);
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_FALSE(o.radCache->isChecked());
    EXPECT_FALSE(o.radNoCache->isChecked());
    EXPECT_TRUE(o.radCopyCache->isChecked());
    EXPECT_TRUE(o.radCopyCache->isHidden());
    EXPECT_FALSE(o.radCopyCache->isEnabled());
    EXPECT_TRUE(o.radSearchSite->isHidden());
    o.BitBtn1->click();
  });
  EXPECT_EQ(f.Settings().DownloadMode, 2);
  ASSERT_TRUE(f.close());
  EXPECT_NE(ReadFile(SettingsFilePath()).find("DownloadOption=3"), std::string::npos);
}

TEST_F(OptionsTest, AlwaysOnTopLastsForTheRunOnly) {
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    o.chkStayOntop->setChecked(true);
    o.BitBtn1->click();
  });
  EXPECT_TRUE(f.IsTopmost());
  EXPECT_TRUE(f.isVisible());  // recreating the window does not leave it hidden
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_TRUE(o.chkStayOntop->isChecked());
    o.BitBtn4->click();
    o.BitBtn1->click();
  });
  EXPECT_FALSE(f.IsTopmost());
  ASSERT_TRUE(f.close());
  EXPECT_EQ(ReadFile(SettingsFilePath()).find("top"), std::string::npos);
}

TEST_F(OptionsTest, StartWithTheSessionWritesOrRemovesTheEntryOnOkOnly) {
  TFrmTavimo& f = Form();
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_FALSE(o.chkAutostart->isChecked());
    o.chkAutostart->setChecked(true);
    o.BitBtn2->click();  // Cancel writes nothing
  });
  EXPECT_FALSE(AutostartEnabled());
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    o.chkAutostart->setChecked(true);
    o.BitBtn1->click();
  });
  ASSERT_TRUE(AutostartEnabled());
  EXPECT_NE(ReadFile(AutostartEntryPath()).find(AutostartExecLine(RunningProgramPath())), std::string::npos);
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    EXPECT_TRUE(o.chkAutostart->isChecked());
    o.BitBtn4->click();  // Reset turns it off
    o.BitBtn1->click();
  });
  EXPECT_FALSE(AutostartEnabled());
  EXPECT_TRUE(dialogs.Messages.empty());

  // A folder that cannot be made is said, and the box shows the truth next time.
  const std::string folder = AutostartEntryPath().substr(0, AutostartEntryPath().rfind('/'));
  ASSERT_EQ(::rmdir(folder.c_str()), 0);
  WriteFile(folder, "not a folder");
  OpenOptions(f, dialogs, [](TfrmOption& o) {
    o.chkAutostart->setChecked(true);
    o.BitBtn1->click();
  });
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_NE(dialogs.Messages[0].text.find("start-up entry"), std::string::npos);
  OpenOptions(f, dialogs, [](TfrmOption& o) { EXPECT_FALSE(o.chkAutostart->isChecked()); });
}

using CategoriesTest = FormTest;

std::vector<std::string> AddCategories(TFrmTavimo& f, RecordingDialogs& dialogs,
                                       const std::vector<std::string>& names, bool cancelLast = false) {
  size_t i = 0;
  dialogs.Script = [&](QDialog& d) {
    auto& n = dynamic_cast<Tfrmnewclass&>(d);
    EXPECT_TRUE(n.edtnewclass->text().isEmpty());
    n.edtnewclass->setText(QString::fromStdString(names[i]));
    const bool cancel = cancelLast && i + 1 == names.size();
    ++i;
    (cancel ? n.BitBtn2 : n.BitBtn1)->click();
    return n.result();
  };
  for (size_t k = 0; k < names.size(); ++k) f.AddaNewCategory1Click();
  dialogs.Script = nullptr;
  return f.CategoryItems();
}

TEST_F(CategoriesTest, AddHeedsLetterCaseAndKeepsTheSelection) {
  TFrmTavimo& f = Form();
  f.lstclass->setCurrentRow(2);
  const auto items = AddCategories(f, dialogs, {"mtv", "Mtv", "", "", "  Cartoons", "Never"}, true);
  EXPECT_EQ(items, (std::vector<std::string>{"--", "Mtv", "Games", "Fun", "mtv", "", "  Cartoons"}));
  EXPECT_EQ(f.lstclass->currentRow(), 2);
  EXPECT_TRUE(dialogs.Messages.empty());
  EXPECT_EQ(dialogs.Shown.size(), 6u);
  EXPECT_EQ(dialogs.Shown[0]->windowTitle(), "Add a New Category");
}

TEST_F(CategoriesTest, FirstFourEntriesCannotBeDeleted) {
  TFrmTavimo& f = Form();
  AddCategories(f, dialogs, {"Music", "Sport"});
  f.lstclass->setCurrentRow(3);
  f.DeleteThisCategory1Click();
  EXPECT_EQ(f.lstclass->count(), 6);
  f.lstclass->setCurrentRow(-1);
  f.DeleteThisCategory1Click();
  EXPECT_EQ(f.lstclass->count(), 6);
  f.lstclass->setCurrentRow(4);
  f.DeleteThisCategory1Click();
  EXPECT_EQ(f.CategoryItems(), (std::vector<std::string>{"--", "Mtv", "Games", "Fun", "Sport"}));
  EXPECT_EQ(f.lstclass->currentItem()->text(), "Fun");
}

TEST_F(CategoriesTest, RootButtonImportsPlainSubfoldersOnly) {
  TFrmTavimo& f = Form();
  const std::string root = home / "media";
  for (const char* d : {"Games", "Music", ".hidden", "real"}) {
    ASSERT_TRUE(EnsureFolder(root + "/" + d));
  }
  ASSERT_EQ(::symlink((root + "/real").c_str(), (root + "/linked").c_str()), 0);
  WriteFile(root + "/file.swf", "x");
  ::rmdir((root + "/real").c_str());  // the link now dangles; a second link points at a folder
  ASSERT_EQ(::symlink((root + "/Music").c_str(), (root + "/alias").c_str()), 0);

  dialogs.FolderAnswer = root;
  f.edtdowndir->setText("/typed/over");
  f.butchangeClick();
  EXPECT_EQ(dialogs.BrowseTitles, (std::vector<std::string>{"Please specify a directory"}));
  EXPECT_EQ(f.Settings().DownloadRoot, root);
  EXPECT_EQ(f.edtdowndir->text().toStdString(), root);
  EXPECT_EQ(f.CategoryItems(), (std::vector<std::string>{"--", "Mtv", "Games", "Fun", "Music"}));

  // Cancelled browser: the field goes back to the root, whose folders are imported again.
  ASSERT_TRUE(EnsureFolder(root + "/Later"));
  dialogs.FolderAnswer.reset();
  f.edtdowndir->setText("/typed/again");
  f.butchangeClick();
  EXPECT_EQ(f.edtdowndir->text().toStdString(), root);
  EXPECT_EQ(f.CategoryItems().back(), "Later");
  EXPECT_EQ(f.CategoryItems().size(), 6u);

  // A root that does not exist adds nothing and says nothing.
  dialogs.FolderAnswer = root + "/none";
  f.butchangeClick();
  EXPECT_EQ(f.CategoryItems().size(), 6u);
  EXPECT_TRUE(dialogs.Messages.empty());
}

// A name with a line break would write lines of its own into info.ini, and a name such as
// ".." or "a/b" would lead downloads out of the root: they are refused where they come in
// (typed in the dialog, a folder of the root, a chosen root), with a message, and the file
// saved at close holds only the names that were taken.
TEST_F(CategoriesTest, NamesWithALineBreakOrLeavingTheRootAreRefusedWithAMessage) {
  TFrmTavimo& f = Form();
  const std::string slash = "A category name cannot contain \"/\".";
  const std::string dots = "A category name cannot be \".\" or \"..\".";
  for (const auto& [typed, why] : std::vector<std::pair<std::string, std::string>>{
           {"Fun\n[options]\nispreview=0", kLineBreakNameText},
           {"a\rb", kLineBreakNameText},
           {"\n", kLineBreakNameText},
           {"x\r\n", kLineBreakNameText},
           {".", dots},
           {"..", dots},
           {"../../.config/autostart", slash},
           {"/tmp", slash},
           {std::string("a\0b", 3), "A category name cannot contain a NUL character."}}) {
    dialogs.Messages.clear();
    int result = -1;
    dialogs.Script = [&](QDialog& d) {
      auto& n = dynamic_cast<Tfrmnewclass&>(d);
      n.edtnewclass->setText(QString::fromStdString(typed));
      n.BitBtn1->click();
      result = n.result();
      return result;
    };
    f.AddaNewCategory1Click();
    EXPECT_EQ(f.CategoryItems(), DefaultCategories());
    EXPECT_NE(result, QDialog::Accepted);  // the dialog stays open to correct the name
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].text, why);
  }
  dialogs.Script = nullptr;

  const std::string root = home / "media";
  for (const char* d : {"Music", "Evil\n[options]\nautoclose=0", "Odd\rName", "Sport"}) {
    ASSERT_TRUE(EnsureFolder(root + "/" + d));
  }
  dialogs.Messages.clear();
  dialogs.FolderAnswer = root;
  f.butchangeClick();
  std::vector<std::string> got = f.CategoryItems();
  std::sort(got.begin() + 4, got.end());  // the file system's order
  EXPECT_EQ(got, (std::vector<std::string>{"--", "Mtv", "Games", "Fun", "Music", "Sport"}));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text, LineBreakFoldersText(2));

  // A chosen root with a line break is refused too; the root stays.
  ASSERT_TRUE(EnsureFolder(home / "bad\nroot"));
  dialogs.FolderAnswer = home / "bad\nroot";
  f.butchangeClick();
  EXPECT_EQ(f.Settings().DownloadRoot, root);
  ASSERT_GE(dialogs.Messages.size(), 2u);
  EXPECT_EQ(dialogs.Messages[1].text, "A download folder cannot contain a line break.");

  f.Settings().SaveSettings();
  const std::string ini = ReadFile(SettingsFilePath());
  EXPECT_EQ(ini.find("Evil"), std::string::npos);
  EXPECT_EQ(ini.find("Odd"), std::string::npos);
  EXPECT_EQ(ini.find("autoclose=0"), std::string::npos);
  EXPECT_NE(ini.find("classnum=6"), std::string::npos);
}

// The list holds at most MaxCategories entries: the dialog and the folder import stop there
// with a message; a duplicate of a full list is still silently ignored.
TEST_F(CategoriesTest, AddingStopsAtTheBoundWithAMessage) {
  TFrmTavimo& f = Form();
  EXPECT_EQ(f.Settings().MaxCategories, 256);
  const std::string full = TooManyCategoriesText(256);
  std::vector<std::string> names;
  for (int i = 4; i < 256; ++i) names.push_back("c" + std::to_string(i));
  AddCategories(f, dialogs, names);
  ASSERT_EQ(f.lstclass->count(), 256);
  EXPECT_TRUE(dialogs.Messages.empty());
  int result = -1;
  for (const auto& [typed, message] :
       std::vector<std::pair<std::string, bool>>{{"c300", true}, {"c5", false}}) {
    dialogs.Messages.clear();
    dialogs.Script = [&, name = typed](QDialog& d) {
      auto& n = dynamic_cast<Tfrmnewclass&>(d);
      n.edtnewclass->setText(QString::fromStdString(name));
      n.BitBtn1->click();
      return result = n.result();
    };
    f.AddaNewCategory1Click();
    EXPECT_EQ(f.lstclass->count(), 256) << typed;
    EXPECT_EQ(dialogs.Messages.size(), message ? 1u : 0u) << typed;
    if (message) {
      EXPECT_EQ(dialogs.Messages[0].text, full);
    }
    EXPECT_EQ(result == QDialog::Accepted, !message) << typed;
  }
  dialogs.Script = nullptr;

  // Folder import: 300 folders into a list of 4 stop at 256, with one message.
  f.SetCategoryItems(DefaultCategories());
  const std::string root = home / "many";
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(EnsureFolder(root + "/f" + std::to_string(i)));
  dialogs.Messages.clear();
  dialogs.FolderAnswer = root;
  f.butchangeClick();
  EXPECT_EQ(f.lstclass->count(), 256);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text, full);

  // Saved and loaded again, the list is the same 256 entries.
  const std::vector<std::string> saved = f.CategoryItems();
  f.Settings().SaveSettings();
  f.SetCategoryItems(DefaultCategories());
  f.Settings().LoadSettings();
  EXPECT_EQ(f.CategoryItems(), saved);
}

// The category list's selection is the download target: a right click opens the menu at the
// pointer and leaves the selection where it was.
TEST_F(CategoriesTest, RightClickOpensTheMenuAtThePointerAndKeepsTheSelection) {
  TFrmTavimo& f = Form();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.lstclass->setCurrentRow(1);
  QWidget* viewport = f.lstclass->viewport();
  for (const QPoint& windowAt : {QPoint(0, 0), QPoint(150, 90)}) {
    f.move(windowAt);
    for (int row : {0, 2, 3}) {
      const QPoint at = f.lstclass->visualItemRect(f.lstclass->item(row)).center();
      QTest::mousePress(viewport, Qt::RightButton, {}, at);
      QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
      QApplication::sendEvent(viewport, &menuEvent);
      QTest::mouseRelease(viewport, Qt::RightButton, {}, at);
      EXPECT_EQ(f.lstclass->currentRow(), 1) << row;
      ASSERT_TRUE(QTest::qWaitFor([&] { return f.PopupMenu1->isVisible(); }, 1000));
      EXPECT_EQ(f.PopupMenu1->pos(), viewport->mapToGlobal(at)) << windowAt.x() << " row " << row;
      f.PopupMenu1->hide();
    }
  }
  // The left button still selects.
  QTest::mouseClick(viewport, Qt::LeftButton, {}, f.lstclass->visualItemRect(f.lstclass->item(3)).center());
  EXPECT_EQ(f.lstclass->currentRow(), 3);
}

TEST(CategoryFolderRule, RootAndCategoryMakeTheFolder) {
  EXPECT_EQ(CategoryFolder("/home/u/Downloads/flash/", "Games"), "/home/u/Downloads/flash/Games/");
  EXPECT_EQ(CategoryFolder("/home/u/flash", "--"), "/home/u/flash/");
  EXPECT_EQ(CategoryFolder("/", "--"), "/");
  EXPECT_EQ(CategoryFolder("/r", ""), "/r//");  // an empty name is used as it stands
  EXPECT_EQ(CategoryFolder("/r/", " a b "), "/r/ a b /");
}

// A settings file may hold what the dialog refuses: such a category saves nothing, says why,
// and the window stays.
TEST_F(CategoriesTest, ACategoryFromTheSettingsFileCannotLeadOutOfTheRoot) {
  ASSERT_TRUE(EnsureFolder(ConfigHomeFolder() + "/tavimo"));
  WriteFile(SettingsFilePath(),
            "[saveoption]\nfolder=" + home / "dl/flash" +
                "\n[classes]\nclassnum=5\nclass0=--\nclass1=Mtv\nclass2=Games\nclass3=Fun\n"
                "class4=../../.config/autostart\n");
  TFrmTavimo& f = Form();
  ASSERT_EQ(f.CategoryItems().size(), 5u);
  f.lstclass->setCurrentRow(4);
  f.Items->AppendItem("http://127.0.0.1:1/x.swf", "x.swf");
  f.Items->SetChecked(0, true);
  f.show();
  f.butdownloadClick();
  EXPECT_EQ(f.statubar->Caption().toStdString(), "Download failed: A category name cannot contain \"/\".");
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.Items->Count(), 1);
  EXPECT_FALSE(FileExists(home / "dl"));
  EXPECT_FALSE(FileExists(home / ".config/autostart"));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(CategoriesTest, ItemFolderUsesTheFieldAndTheSelection) {
  TFrmTavimo& f = Form();
  f.edtdowndir->setText("/data/flash");
  f.lstclass->setCurrentRow(2);
  EXPECT_EQ(f.ItemFolder(), "/data/flash/Games/");
  f.lstclass->setCurrentRow(-1);
  try {
    f.ItemFolder();
    ADD_FAILURE() << "no error without a selected category";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
}

}  // namespace
}  // namespace tavimo::test
