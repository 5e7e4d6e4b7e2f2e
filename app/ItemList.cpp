#include "app/ItemList.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QStringDecoder>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/HandlerGuard.h"

namespace tavimo {
namespace {

const QColor kLightBlue(99, 156, 206);

// Draws the row whose index equals SelectedRow in light blue with white text; every other row
// keeps the list's own colours.
class HighlightDelegate : public QStyledItemDelegate {
 public:
  HighlightDelegate(const int& selectedRow, QObject* parent)
      : QStyledItemDelegate(parent), selectedRow_(selectedRow) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.row() != selectedRow_) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    opt.backgroundBrush = kLightBlue;
    // Background and check box first, in the list's own colours (a white tick on a white box
    // would vanish); then the text in white.
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    opt.text = text;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(margin, 0, -margin, 0);
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(Qt::white);
    painter->drawText(textRect, static_cast<int>(opt.displayAlignment),
                      opt.fontMetrics.elidedText(text, opt.textElideMode, textRect.width()));
    painter->restore();
  }

 private:
  const int& selectedRow_;
};

// A list that reports the rows its keyboard moves to (arrows, Page Up/Down, Home, End), so
// the other list and the highlight follow. Space sets the check boxes of all selected rows at
// once (Ctrl+A, Space checks every item): all of them checked become unchecked, otherwise all
// become checked.
class ItemTree : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void(int row)> OnKeyMoved;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const bool space = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
    if (space && (event->modifiers() & ~Qt::KeypadModifier) == 0 && state() != EditingState &&
        ToggleSelectedChecks()) {
      event->accept();
      return;
    }
    const int before = currentIndex().row();
    QTreeWidget::keyPressEvent(event);
    const int after = currentIndex().row();
    if (after >= 0 && after != before && state() != EditingState && OnKeyMoved) OnKeyMoved(after);
  }

 private:
  bool ToggleSelectedChecks() {
    std::vector<QTreeWidgetItem*> rows;
    bool allChecked = true;
    for (QTreeWidgetItem* item : selectedItems()) {
      if (!(item->flags() & Qt::ItemIsUserCheckable)) continue;
      rows.push_back(item);
      allChecked = allChecked && item->checkState(0) == Qt::Checked;
    }
    for (QTreeWidgetItem* item : rows) item->setCheckState(0, allChecked ? Qt::Unchecked : Qt::Checked);
    return !rows.empty();
  }
};

ItemTree* MakeList(const QString& name, const QString& caption, int columnWidth, const QString& hint,
                   QWidget* parent) {
  auto* list = new ItemTree(parent);
  list->setObjectName(name);
  list->setColumnCount(1);
  list->setHeaderLabels({caption});
  list->setColumnWidth(0, columnWidth);
  list->header()->setSectionsClickable(false);
  list->header()->setStretchLastSection(false);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setToolTip(hint);
  return list;
}

// Page bytes need not be UTF-8 (Latin-1, GBK and Big5 pages are common), so the row keeps the
// bytes themselves and shows a decoding of them: UTF-8 when they are valid UTF-8, otherwise
// one character per byte, which never loses a byte to a replacement character.
constexpr int kBytesRole = Qt::UserRole;

QString DisplayText(const std::string& bytes) {
  const QByteArray raw = QByteArray::fromStdString(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(raw);
  return utf8.hasError() ? QString::fromLatin1(raw) : text;
}

class RawItem : public QTreeWidgetItem {
 public:
  explicit RawItem(const std::string& bytes) : QTreeWidgetItem(QStringList{DisplayText(bytes)}) {
    QTreeWidgetItem::setData(0, kBytesRole, QByteArray::fromStdString(bytes));
  }

  // An in-place edit that changes the text replaces the bytes by the edit's UTF-8; confirming
  // the shown text unchanged keeps the original bytes.
  void setData(int column, int role, const QVariant& value) override {
    if (column == 0 && (role == Qt::EditRole || role == Qt::DisplayRole) && value.toString() != text(0)) {
      QTreeWidgetItem::setData(0, kBytesRole, value.toString().toUtf8());
    }
    QTreeWidgetItem::setData(column, role, value);
  }
};

QTreeWidgetItem* NewItem(const std::string& text, bool checkable) {
  auto* item = new RawItem(text);
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  if (checkable) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  if (checkable) item->setCheckState(0, Qt::Unchecked);
  return item;
}

std::string ItemBytes(const QTreeWidgetItem* item) {
  return item->data(0, kBytesRole).toByteArray().toStdString();
}

int FirstSelected(const QTreeWidget* list) {
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    if (list->topLevelItem(i)->isSelected()) return i;
  }
  return -1;
}

// The one-pixel splitter, painted in the light blue. (A style sheet would do the same at the
// price of restyling the whole panel at start-up.)
class SplitterHandle : public QSplitterHandle {
 public:
  using QSplitterHandle::QSplitterHandle;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kLightBlue); }
};

class PanelSplitter : public QSplitter {
 public:
  using QSplitter::QSplitter;

 protected:
  QSplitterHandle* createHandle() override { return new SplitterHandle(orientation(), this); }
};

}  // namespace

std::string HandMadeSaveAsName(const std::string& url) {
  return url.find("swf") != std::string::npos ? DefaultSaveAsName(url) : "not flash";
}

TItemList::TItemList(QWidget& panel, Dialogs& dialogs) : QObject(&panel), dialogs_(dialogs) {
  Splitter1 = new PanelSplitter(Qt::Horizontal, &panel);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(1);
  Splitter1->setChildrenCollapsible(false);

  auto* urls = MakeList("ListView1", "Original URL", 344, "Double click to modify if the URL is incorrect.",
                        Splitter1);
  ListView1 = urls;
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* names = MakeList("ListView2", "Save as", 153, "Click to rename the file.", Splitter1);
  ListView2 = names;
  ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView2->header()->setStretchLastSection(true);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);

  ListView1->setItemDelegate(new HighlightDelegate(SelectedRow, ListView1));
  ListView2->setItemDelegate(new HighlightDelegate(SelectedRow, ListView2));

  auto* layout = new QVBoxLayout(&panel);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->addWidget(Splitter1);
  Splitter1->setSizes({345, 153});

  connect(ListView1, &QTreeWidget::clicked, this, [this](const QModelIndex& index) {
    RunGuarded(dialogs_, [&] {
      // The check box takes the press without selecting; a click on it still picks the row.
      if (!ListView1->selectionModel()->isRowSelected(index.row(), {})) ListView1->setCurrentIndex(index);
      ListView1Click();
    });
  });
  connect(ListView2, &QTreeWidget::clicked, this, Guarded(dialogs_, [this] { ListView2Click(); }));
  connect(ListView1, &QTreeWidget::doubleClicked, this, Guarded(dialogs_, [this] { ListView1DblClick(); }));
  connect(Splitter1, &QSplitter::splitterMoved, this, Guarded(dialogs_, [this] { Splitter1Moved(); }));

  // The two lists read as one: whichever scrolls, the other follows, row for row (the bars
  // count rows, and both lists hold the same rows).
  QScrollBar* bar1 = ListView1->verticalScrollBar();
  QScrollBar* bar2 = ListView2->verticalScrollBar();
  connect(bar1, &QScrollBar::valueChanged, bar2, [bar2](int v) {
    if (bar2->value() != v) bar2->setValue(v);
  });
  connect(bar2, &QScrollBar::valueChanged, bar1, [bar1](int v) {
    if (bar1->value() != v) bar1->setValue(v);
  });
  // The keyboard moves the highlight of both lists as a click would, without opening an editor.
  urls->OnKeyMoved = [this](int row) { RunGuarded(dialogs_, [&] { UrlRowKeyMoved(row); }); };
  names->OnKeyMoved = [this](int row) { RunGuarded(dialogs_, [&] { NameRowKeyMoved(row); }); };
}

int TItemList::Count() const { return ListView1->topLevelItemCount(); }

void TItemList::AppendItem(const std::string& url, const std::string& saveAsName) {
  ListView1->addTopLevelItem(NewItem(url, true));
  ListView2->addTopLevelItem(NewItem(saveAsName, false));
}

void TItemList::LoadLinkList(const std::string& linkListFile) { AppendLinkList(*this, linkListFile); }

void TItemList::Clear() {
  ListView1->clear();
  ListView2->clear();
  // The next fill starts highlighted at row 0, the row a scan previews; an index kept from
  // the old rows would highlight an item that is not the one playing.
  SelectedRow = 0;
}

std::string TItemList::Url(int row) const { return ItemBytes(ListView1->topLevelItem(row)); }

std::string TItemList::SaveAsName(int row) const { return ItemBytes(ListView2->topLevelItem(row)); }

bool TItemList::IsChecked(int row) const {
  return ListView1->topLevelItem(row)->checkState(0) == Qt::Checked;
}

void TItemList::SetChecked(int row, bool checked) {
  ListView1->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

bool TItemList::ContainsUrl(const std::string& url) const {
  for (int i = 0; i < Count(); ++i) {
    if (Url(i) == url) return true;
  }
  return false;
}

int TItemList::FirstSelectedRow() const { return FirstSelected(ListView1); }
int TItemList::FirstSelectedNameRow() const { return FirstSelected(ListView2); }

void TItemList::SetFlatBorders() {
  ListView1->setFrameShape(QFrame::NoFrame);
  ListView2->setFrameShape(QFrame::NoFrame);
}

void TItemList::ListView1Click() {
  const int row = FirstSelectedRow();
  if (row < 0) return;
  SelectedRow = row;
  MakeCurrent(ListView2, row);  // no stale mark left in the name list
  Repaint();
  if (OnUrlRowClicked) OnUrlRowClicked(row);
}

void TItemList::UrlRowKeyMoved(int row) {
  SelectedRow = row;
  MakeCurrent(ListView2, row);
  Repaint();
  if (OnUrlRowClicked) OnUrlRowClicked(row);
}

void TItemList::NameRowKeyMoved(int row) {
  SelectedRow = row;
  Repaint();
}

void TItemList::MakeCurrent(QTreeWidget* list, int row) {
  if (row < 0 || row >= list->topLevelItemCount()) return;
  list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TItemList::ListView2Click() {
  const int row = FirstSelectedNameRow();
  if (row < 0) return;
  ListView2->setFocus();
  ListView2->editItem(ListView2->topLevelItem(row), 0);
  SelectedRow = row;
  Repaint();
}

void TItemList::ListView1DblClick() {
  const int row = FirstSelectedRow();
  if (row < 0) return;
  ListView1->setFocus();
  ListView1->editItem(ListView1->topLevelItem(row), 0);
}

void TItemList::Splitter1Moved() {
  ListView1->setColumnWidth(0, ListView1->width());
  ListView2->setColumnWidth(0, ListView2->width());
}

void TItemList::Repaint() {
  ListView1->viewport()->update();
  ListView2->viewport()->update();
}

}  // namespace tavimo
