#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <unistd.h>

#include "app/Categories.h"
#include "app/FrmOption.h"
#include "app/Frmnewclass.h"
#include "controls/FlatCheckBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
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

TEST(CategoryFolderRule, RootAndCategoryMakeTheFolder) {
  EXPECT_EQ(CategoryFolder("/home/u/Downloads/flash/", "Games"), "/home/u/Downloads/flash/Games/");
  EXPECT_EQ(CategoryFolder("/home/u/flash", "--"), "/home/u/flash/");
  EXPECT_EQ(CategoryFolder("/", "--"), "/");
  EXPECT_EQ(CategoryFolder("/r", ""), "/r//");  // an empty name is used as it stands
  EXPECT_EQ(CategoryFolder("/r/", " a b "), "/r/ a b /");
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
