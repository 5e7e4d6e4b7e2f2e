#include "detect/ItemList.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "detect/TextUtils.h"
#include "platform/HandlerGuard.h"

namespace tavimo {
namespace {

const QColor kLightBlue(99, 156, 206);

// Draws the row whose index equals SelectedRow in light blue with white text; every other row
// keeps the list's own colours.
class HighlightDelegate : public QStyledItemDelegate {
 public:
  HighlightDelegate(const int& selectedRow, QObject* parent)
      : QStyledItemDelegate(parent), selectedRow_(selectedRow) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
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

QTreeWidget* MakeList(const QString& name, const QString& caption, int columnWidth,
                      const QString& hint, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
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

QTreeWidgetItem* NewItem(const std::string& text, bool checkable) {
  auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  if (checkable) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  if (checkable) item->setCheckState(0, Qt::Unchecked);
  return item;
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

std::string DefaultSaveAsName(const std::string& url) { return url.substr(LastPos('/', url)); }

std::string HandMadeSaveAsName(const std::string& url) {
  return url.find("swf") != std::string::npos ? DefaultSaveAsName(url) : "not flash";
}

TItemList::TItemList(QWidget& panel) : QObject(&panel) {
  Splitter1 = new PanelSplitter(Qt::Horizontal, &panel);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(1);
  Splitter1->setChildrenCollapsible(false);

  ListView1 = MakeList("ListView1", "Original URL", 344,
                       "Double click to modify if the URL is incorrect.", Splitter1);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListView2 = MakeList("ListView2", "Save as", 153, "Click to rename the file.", Splitter1);
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
    RunGuarded([&] {
      // The check box takes the press without selecting; a click on it still picks the row.
      if (!ListView1->selectionModel()->isRowSelected(index.row(), {})) ListView1->setCurrentIndex(index);
      ListView1Click();
    });
  });
  connect(ListView2, &QTreeWidget::clicked, this, Guarded([this] { ListView2Click(); }));
  connect(ListView1, &QTreeWidget::doubleClicked, this, Guarded([this] { ListView1DblClick(); }));
  connect(Splitter1, &QSplitter::splitterMoved, this, Guarded([this] { Splitter1Moved(); }));
}

int TItemList::Count() const { return ListView1->topLevelItemCount(); }

void TItemList::AppendItem(const std::string& url, const std::string& saveAsName) {
  ListView1->addTopLevelItem(NewItem(url, true));
  ListView2->addTopLevelItem(NewItem(saveAsName, false));
}

void TItemList::LoadLinkList(const std::string& linkListFile) {
  QFile file(QString::fromStdString(linkListFile));
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  // CR LF, a lone CR and a lone LF each end a line; a last line without an ending counts too.
  qsizetype start = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    const std::string line = bytes.mid(start, i - start).toStdString();
    AppendItem(line, DefaultSaveAsName(line));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) {
    const std::string line = bytes.mid(start).toStdString();
    AppendItem(line, DefaultSaveAsName(line));
  }
}

void TItemList::Clear() {
  ListView1->clear();
  ListView2->clear();
}

std::string TItemList::Url(int row) const {
  return ListView1->topLevelItem(row)->text(0).toStdString();
}

std::string TItemList::SaveAsName(int row) const {
  return ListView2->topLevelItem(row)->text(0).toStdString();
}

bool TItemList::IsChecked(int row) const {
  return ListView1->topLevelItem(row)->checkState(0) == Qt::Checked;
}

void TItemList::SetChecked(int row, bool checked) {
  ListView1->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

bool TItemList::ContainsUrl(const std::string& url) const {
  const QString u = QString::fromStdString(url);
  for (int i = 0; i < Count(); ++i) {
    if (ListView1->topLevelItem(i)->text(0) == u) return true;
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
  Repaint();
  if (OnUrlRowClicked) OnUrlRowClicked(row);
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
