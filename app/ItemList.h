#pragma once
// The Flash item list: two report-view lists kept parallel by row index, the item's URL (with
// its check box) in ListView1 and the save-as file name in ListView2, side by side in a panel
// with a one-pixel splitter between them. Rows are only appended to both lists together or
// cleared from both together.
#include <QObject>
#include <functional>
#include <string>

#include "detect/ItemSink.h"

class QSplitter;
class QTreeWidget;
class QWidget;

namespace tavimo {

class Dialogs;

// The add-item dialog's rule: the default name when the URL holds "swf" in lower case,
// otherwise "not flash".
std::string HandMadeSaveAsName(const std::string& url);

class TItemList : public QObject, public ItemSink {
  Q_OBJECT

 public:
  // Builds ListView1, Splitter1 and ListView2 filling the inside of the panel. `dialogs`
  // shows the error of a failing handler.
  TItemList(QWidget& panel, Dialogs& dialogs);

  QTreeWidget* ListView1 = nullptr;
  QTreeWidget* ListView2 = nullptr;
  QSplitter* Splitter1 = nullptr;

  // The row last clicked in either list; decides the highlighted row and the previewed item.
  // Not reset by clearing.
  int SelectedRow = 0;

  // Raised at the end of ListView1Click with the clicked row (the preview step hooks in here).
  std::function<void(int row)> OnUrlRowClicked;

  int Count() const override;
  // One URL row (unchecked), then its name row.
  void AppendItem(const std::string& url, const std::string& saveAsName) override;
  // Appends the lines of the link list file (CR LF, CR or LF end a line); nothing when the
  // file is missing. Rows already listed stay.
  void LoadLinkList(const std::string& linkListFile);
  // All rows of ListView1, then all rows of ListView2; SelectedRow goes back to 0.
  void Clear() override;

  // The row's bytes as they were appended (never re-encoded), or the UTF-8 of an in-place edit.
  std::string Url(int row) const override;
  std::string SaveAsName(int row) const;
  bool IsChecked(int row) const;
  void SetChecked(int row, bool checked);
  bool ContainsUrl(const std::string& url) const;
  // The first selected row of ListView1 in list order, or -1.
  int FirstSelectedRow() const;
  int FirstSelectedNameRow() const;

  // Removes the three-dimensional border of both lists.
  void SetFlatBorders();

  void ListView1Click();
  void ListView2Click();
  void ListView1DblClick();
  void Splitter1Moved();

  // The keyboard moved the current row of ListView1 (highlight, name list and preview
  // follow, as after a click) or of ListView2 (the highlight follows, no editor opens).
  void UrlRowKeyMoved(int row);
  void NameRowKeyMoved(int row);

 private:
  Dialogs& dialogs_;
  void Repaint();
  static void MakeCurrent(QTreeWidget* list, int row);
};

}  // namespace tavimo
