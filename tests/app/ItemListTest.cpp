#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeWidget>

#include "app/Frmaddflashitem.h"
#include "app/ItemList.h"
#include "app/PreviewStep.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

const QColor kLightBlue(99, 156, 206);

QPoint RowCentre(QTreeWidget* list, int row) {
  return list->visualItemRect(list->topLevelItem(row)).center();
}

// The colour the list paints a little right of the row's text start (beyond the check box).
QColor RowBackground(QTreeWidget* list, int row) {
  const QImage img = list->viewport()->grab().toImage();
  const QRect r = list->visualItemRect(list->topLevelItem(row));
  return img.pixelColor(r.right() - 3, r.center().y());
}

void ClickRow(QTreeWidget* list, int row, Qt::KeyboardModifiers mods = {}) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, RowCentre(list, row));
}

// The in-place editor open on the list, if any.
QLineEdit* OpenEditor(QTreeWidget* list) {
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  return editor && list->viewport()->isAncestorOf(editor) ? editor : nullptr;
}

QAction* MenuAction(QMenu* menu, const QString& text) {
  for (QAction* a : menu->actions()) {
    if (a->text() == text) return a;
  }
  return nullptr;
}

class ItemListTest : public FormTest {
 protected:
  void SetUp() override {
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    items = form->Items;
  }
  void Fill(int n) {
    for (int i = 0; i < n; ++i) items->AppendItem("http://h/m" + std::to_string(i) + ".swf", "m.swf");
  }
  TItemList* items = nullptr;
};

TEST(ItemNames, DefaultAndHandMadeNames) {
  EXPECT_EQ(DefaultSaveAsName("http://host/dir/movie.swf"), "movie.swf");
  EXPECT_EQ(DefaultSaveAsName("movie.swf"), "movie.swf");  // no "/": the whole URL
  EXPECT_EQ(DefaultSaveAsName("http://host/dir/"), "");
  EXPECT_EQ(HandMadeSaveAsName("http://host/movie.swf"), "movie.swf");
  EXPECT_EQ(HandMadeSaveAsName("http://host/a.SWF"), "not flash");  // lower case only
  EXPECT_EQ(HandMadeSaveAsName("http://host/swf/page"), "page");    // "swf" anywhere
  EXPECT_EQ(HandMadeSaveAsName(""), "not flash");
}

TEST_F(ItemListTest, LinkListFileRowsStayParallelAndAppend) {
  const std::string file = home / "swf.txt";
  WriteFile(file, "http://h/a/1.swf\r\nhttp://h/2.swf\nhttp://h/b/3.swf\rnoslash");
  items->LoadLinkList(file);
  items->LoadLinkList(file);  // no duplicate test against rows already listed
  items->LoadLinkList(home / "missing.txt");
  ASSERT_EQ(items->Count(), 8);
  ASSERT_EQ(items->ListView2->topLevelItemCount(), 8);
  const char* names[] = {"1.swf", "2.swf", "3.swf", "noslash"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(items->SaveAsName(i), names[i % 4]) << i;
    EXPECT_FALSE(items->IsChecked(i));
  }
  EXPECT_EQ(items->Url(2), "http://h/b/3.swf");

  form->ClearItems1Click();
  EXPECT_EQ(items->ListView1->topLevelItemCount(), 0);
  EXPECT_EQ(items->ListView2->topLevelItemCount(), 0);
}

TEST_F(ItemListTest, ClearingStartsTheHighlightAgainAtRowZero) {
  Fill(4);
  // Nothing clicked yet: SelectedRow starts at 0, so row 0 is highlighted in both lists.
  EXPECT_EQ(RowBackground(items->ListView1, 0), kLightBlue);
  EXPECT_EQ(RowBackground(items->ListView2, 0), kLightBlue);
  EXPECT_NE(RowBackground(items->ListView1, 1), kLightBlue);

  ClickRow(items->ListView1, 2);
  EXPECT_EQ(items->SelectedRow, 2);
  EXPECT_EQ(RowBackground(items->ListView2, 2), kLightBlue);
  // A refill (a scan clears first) highlights row 0, the row a scan previews.
  form->ClearItems1Click();
  EXPECT_EQ(items->SelectedRow, 0);
  Fill(4);
  EXPECT_EQ(RowBackground(items->ListView1, 0), kLightBlue);
  EXPECT_EQ(RowBackground(items->ListView2, 0), kLightBlue);
  EXPECT_NE(RowBackground(items->ListView1, 2), kLightBlue);
}

// Page bytes in any encoding come back from the list exactly as they went in; only an edit
// that changes the text replaces them (by the edit's UTF-8).
TEST_F(ItemListTest, RowsKeepTheirBytesWhateverTheEncoding) {
  const struct {
    const char* what;
    std::string url;
  } rows[] = {
      {"Latin-1", "http://h/m\xfcsica/d\xe9j\xe0.swf"}, {"GBK", "http://h/\xd3\xce\xcf\xb7.swf"},
      {"Big5", "http://h/\xb9\x43\xc0\xb8.swf"},        {"UTF-8", "http://h/\xc3\xa9t\xc3\xa9.swf"},
      {"lone continuation", "http://h/\x80\xbf.swf"},
  };
  for (const auto& r : rows) items->AppendItem(r.url, DefaultSaveAsName(r.url));
  const std::string linkList = home / "swf.txt";
  WriteFile(linkList, std::string(rows[0].url) + "\r\n" + rows[1].url + "\n");
  items->LoadLinkList(linkList);
  ASSERT_EQ(items->Count(), 7);
  for (int i = 0; i < 7; ++i) {
    const auto& r = rows[i < 5 ? i : i - 5];
    EXPECT_EQ(items->Url(i), r.url) << r.what;
    EXPECT_EQ(items->SaveAsName(i), DefaultSaveAsName(r.url)) << r.what;
    EXPECT_TRUE(items->ContainsUrl(r.url)) << r.what;
    EXPECT_FALSE(items->ListView1->topLevelItem(i)->text(0).contains(QChar::ReplacementCharacter)) << r.what;
  }
  EXPECT_EQ(items->ListView1->topLevelItem(3)->text(0), QString::fromUtf8("http://h/\xc3\xa9t\xc3\xa9.swf"));
  EXPECT_FALSE(items->ContainsUrl(
      "http://h/m\xc3\xbcsica/d\xc3\xa9j\xc3\xa0.swf"));  // the UTF-8 spelling is another URL

  // Confirming a name unchanged keeps its bytes; a changed name is the edit's UTF-8.
  for (const auto& [row, typed, expected] : std::vector<std::tuple<int, QString, std::string>>{
           {1, QString(), DefaultSaveAsName(rows[1].url)},
           {2, QString::fromUtf8("\xe6\x96\xb0.swf"), "\xe6\x96\xb0.swf"}}) {
    ClickRow(items->ListView2, row);
    QLineEdit* editor = OpenEditor(items->ListView2);
    ASSERT_NE(editor, nullptr);
    if (!typed.isNull()) editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(items->SaveAsName(row), expected) << row;
    EXPECT_EQ(items->Url(row), rows[row].url);
  }
}

// The two lists read as one: a scroll of either moves the other, and the keyboard moves the
// highlight of both (the URL list previews as a click does; the name list opens no editor).
TEST_F(ItemListTest, ScrollAndHighlightStayTogether) {
  Fill(80);
  QScrollBar* bar1 = items->ListView1->verticalScrollBar();
  QScrollBar* bar2 = items->ListView2->verticalScrollBar();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar1->maximum() > 30 && bar2->maximum() > 30; }, 2000));
  for (const auto& [moved, other, value] : std::vector<std::tuple<QScrollBar*, QScrollBar*, int>>{
           {bar1, bar2, 25}, {bar2, bar1, 7}, {bar1, bar2, 0}}) {
    moved->setValue(value);
    EXPECT_EQ(other->value(), value);
  }

  ClickRow(items->ListView1, 2);
  playerLog.clear();
  const struct {
    QTreeWidget* list;
    Qt::Key key;
    int row;
    bool previews;
  } steps[] = {
      {items->ListView1, Qt::Key_Down, 3, true},      {items->ListView1, Qt::Key_Down, 4, true},
      {items->ListView1, Qt::Key_End, 79, true},      {items->ListView2, Qt::Key_Up, 78, false},
      {items->ListView2, Qt::Key_Home, 0, false},     {items->ListView1, Qt::Key_Home, 0, true},
      {items->ListView1, Qt::Key_PageDown, -1, true},
  };
  for (const auto& s : steps) {
    playerLog.clear();
    s.list->setFocus();
    QTest::keyClick(s.list, s.key);
    const int row = s.row >= 0 ? s.row : s.list->currentIndex().row();
    if (s.row < 0) {
      EXPECT_GT(row, 4);  // a page down the list
    }
    EXPECT_EQ(items->SelectedRow, row) << s.key;
    EXPECT_EQ(s.list->currentIndex().row(), row);
    EXPECT_EQ(bar1->value(), bar2->value()) << s.key;
    EXPECT_EQ(RowBackground(items->ListView1, row), kLightBlue) << s.key;
    EXPECT_EQ(RowBackground(items->ListView2, row), kLightBlue) << s.key;
    EXPECT_EQ(OpenEditor(items->ListView2), nullptr);
    if (s.previews) {
      EXPECT_EQ(items->ListView2->currentIndex().row(), row);  // no stale mark in the names
      EXPECT_EQ(playerLog, (std::vector<std::string>{
                               "Stop", "Movie:http://h/m" + std::to_string(row) + ".swf", "Play"}));
    } else {
      EXPECT_TRUE(playerLog.empty()) << s.key;
    }
  }
}

TEST_F(ItemListTest, ClickPreviewsTheFirstSelectedRowOnlyWithPreviewOn) {
  Fill(4);
  ClickRow(items->ListView1, 3);
  ClickRow(items->ListView1, 1, Qt::ControlModifier);  // rows 3 and 1 selected, 1 clicked last
  EXPECT_EQ(items->SelectedRow, 1);
  ASSERT_GE(playerLog.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(playerLog.end() - 3, playerLog.end()),
            (std::vector<std::string>{"Stop", "Movie:http://h/m1.swf", "Play"}));

  // With rows 1 and 3 selected a click on row 3 still uses row 1, the first in list order.
  ClickRow(items->ListView1, 3, Qt::ControlModifier);
  ClickRow(items->ListView1, 3, Qt::ControlModifier);
  EXPECT_EQ(items->SelectedRow, 1);

  form->Settings().IsPreview = false;
  playerLog.clear();
  ClickRow(items->ListView1, 2);
  EXPECT_EQ(items->SelectedRow, 2);
  EXPECT_TRUE(playerLog.empty());  // previewing off: the player is not touched
}

TEST_F(ItemListTest, AfterAScanTheFirstRowPlaysOrAFailureBlanks) {
  const std::vector<std::string> first{"Stop", "Movie:http://h/m0.swf", "Play"},
      blank{"Movie:blank.swf", "Stop"};
  const struct {
    bool isPreview;
    int rows;
    bool failed;
    std::vector<std::string> calls;
  } cases[] = {
      {true, 2, false, first}, {true, 2, true, first},  {true, 0, true, blank},
      {true, 0, false, {}},    {false, 2, true, blank}, {false, 2, false, {}},
  };
  for (const auto& c : cases) {
    items->Clear();
    Fill(c.rows);
    playerLog.clear();
    PreviewAfterScan(*form->myplayer, c.isPreview, *items, c.failed);
    EXPECT_EQ(playerLog, c.calls) << c.isPreview << c.rows << c.failed;
  }
}

TEST_F(ItemListTest, CheckBoxClickCountsAsRowClick) {
  Fill(3);
  QTreeWidget* list = items->ListView1;
  const QRect r = list->visualItemRect(list->topLevelItem(2));
  // The check indicator sits at the left of the row.
  QStyleOptionViewItem opt;
  opt.initFrom(list);
  opt.rect = r;
  opt.features = QStyleOptionViewItem::HasCheckIndicator;
  const QRect check = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, check.center());
  EXPECT_TRUE(items->IsChecked(2));
  EXPECT_EQ(items->SelectedRow, 2);
  ASSERT_FALSE(playerLog.empty());
  EXPECT_EQ(playerLog.back(), "Play");
}

// Space sets the boxes of every selected row together: Ctrl+A, Space checks all; again unchecks
// all; a selection of mixed boxes becomes all checked; rows outside the selection keep theirs.
TEST_F(ItemListTest, SpaceChecksEverySelectedRow) {
  Fill(4);
  QTreeWidget* list = items->ListView1;
  auto checks = [&] {
    std::string out;
    for (int i = 0; i < items->Count(); ++i) out += items->IsChecked(i) ? 'x' : '.';
    return out;
  };
  list->setFocus();
  ClickRow(list, 0);
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(checks(), "xxxx");
  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(checks(), "....");
  items->SetChecked(1, true);
  items->SetChecked(3, true);
  ClickRow(list, 0);
  ClickRow(list, 1, Qt::ControlModifier);
  ClickRow(list, 2, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(checks(), "xxxx");
  QTest::keyClick(list, Qt::Key_Space);
  EXPECT_EQ(checks(), "...x");
}

TEST_F(ItemListTest, NameClickEditsAndHighlightsWithoutPreview) {
  Fill(3);
  ClickRow(items->ListView2, 1);
  EXPECT_EQ(items->SelectedRow, 1);
  EXPECT_TRUE(playerLog.empty());
  QLineEdit* editor = OpenEditor(items->ListView2);
  ASSERT_NE(editor, nullptr);
  editor->setText("renamed.swf");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the delegate commits in a queued call
  EXPECT_EQ(items->SaveAsName(1), "renamed.swf");
  EXPECT_EQ(items->Url(1), "http://h/m1.swf");

  ClickRow(items->ListView1, 0);  // a double click starts with a click, as a user's does
  QTest::mouseDClick(items->ListView1->viewport(), Qt::LeftButton, {}, RowCentre(items->ListView1, 0));
  EXPECT_NE(OpenEditor(items->ListView1), nullptr);
}

TEST_F(ItemListTest, AddItemDialogAppendsOrCancels) {
  std::vector<std::string> typed = {"http://host/movie.swf", "http://host/a.SWF", ""};
  size_t next = 0;
  dialogs.Script = [&](QDialog& d) {
    auto& add = dynamic_cast<Tfrmaddflashitem&>(d);
    EXPECT_EQ(add.windowTitle(), "Add a New Flash Item");
    if (next == typed.size()) {
      add.BitBtn2->click();
      return add.result();
    }
    add.edtnewitem->setText(QString::fromStdString(typed[next++]));
    add.BitBtn1->click();
    return add.result();
  };
  QAction* action = MenuAction(form->PopupMenu2, "&Add a New Flash Item");
  ASSERT_NE(action, nullptr);
  for (int i = 0; i < 4; ++i) action->trigger();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->SaveAsName(0), "movie.swf");
  EXPECT_EQ(items->SaveAsName(1), "not flash");
  EXPECT_EQ(items->Url(2), "");
  EXPECT_EQ(items->SaveAsName(2), "not flash");
  EXPECT_EQ(dialogs.Shown.size(), 4u);
  EXPECT_NE(dialogs.Shown[0], dialogs.Shown[1]);  // a fresh dialog each time
}

TEST_F(ItemListTest, SplitterMoveFitsEachColumnToItsList) {
  Fill(1);
  items->Splitter1->setSizes({200, 298});
  items->Splitter1Moved();
  EXPECT_EQ(items->ListView1->columnWidth(0), items->ListView1->width());
  EXPECT_EQ(items->ListView2->columnWidth(0), items->ListView2->width());
  EXPECT_EQ(items->ListView1->width(), 200);
}

}  // namespace
}  // namespace tavimo::test
