// Categories and the download root: the category list and its menu, the new-category dialog,
// the protected first four entries, the root button with its folder browser and the import of
// the root's sub-folders.
#include <QListWidget>
#include <QMenu>

#include "app/Categories.h"
#include "app/FrmTavimo.h"
#include "app/Frmnewclass.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "desktop/Dialogs.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {

namespace {

// The first four entries can never be deleted, whatever their names.
constexpr int kProtectedCategories = 4;

}  // namespace

void TFrmTavimo::BuildCategoryMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addAction(MenuPicture(1), "&Add a New Category", this,
                        Guarded(dialogs_, [this] { AddaNewCategory1Click(); }));
  PopupMenu1->addAction(MenuPicture(2), "&Delete This Category", this,
                        Guarded(dialogs_, [this] { DeleteThisCategory1Click(); }));
  connect(lstclass, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(lstclass->viewport()->mapToGlobal(at)); });
}

void TFrmTavimo::AddaNewCategory1Click() {
  auto* dialog = new Tfrmnewclass(this, *lstclass, settings_->MaxCategories, dialogs_);
  dialogs_.ExecModal(*dialog);
}

void TFrmTavimo::DeleteThisCategory1Click() {
  const int index = lstclass->currentRow();
  if (index < kProtectedCategories) return;
  delete lstclass->takeItem(index);
  lstclass->setCurrentRow(index - 1);
}

void TFrmTavimo::butchangeClick() {
  BrowseForRoot();
  edtdowndir->setText(QString::fromStdString(settings_->DownloadRoot));
  AddRootSubfolders();
}

void TFrmTavimo::BrowseForRoot() {
  if (auto chosen = dialogs_.BrowseForFolder(this, "Please specify a directory")) {
    // The root is a settings value too: a path with a line break would break the file.
    if (HasLineBreak(*chosen)) {
      dialogs_.ShowMessage(this, kCategoryCaption, "A download folder cannot contain a line break.",
                           MessageIcon::None);
      return;
    }
    settings_->DownloadRoot = *chosen;
  }
}

void TFrmTavimo::AddRootSubfolders() {
  int lineBreaks = 0;
  bool full = false;
  for (const std::string& name : RootSubfolders(settings_->DownloadRoot)) {
    if (HasLineBreak(name)) {
      ++lineBreaks;
      continue;
    }
    const QString entry = QString::fromStdString(name);
    if (!lstclass->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) continue;
    if (lstclass->count() >= settings_->MaxCategories) {
      full = true;
      break;
    }
    lstclass->addItem(entry);
  }
  if (lineBreaks > 0) {
    dialogs_.ShowMessage(this, kCategoryCaption, LineBreakFoldersText(lineBreaks), MessageIcon::None);
  }
  if (full) {
    dialogs_.ShowMessage(this, kCategoryCaption, TooManyCategoriesText(settings_->MaxCategories),
                         MessageIcon::None);
  }
}

std::string TFrmTavimo::SelectedCategory() const {
  const QListWidgetItem* selected = lstclass->currentItem();
  if (!selected) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(lstclass->currentRow()) + ")");
  }
  return selected->text().toStdString();
}

std::string TFrmTavimo::ItemFolder() const {
  return CategoryFolder(edtdowndir->text().toStdString(), SelectedCategory());
}

std::vector<std::string> TFrmTavimo::CategoryItems() const {
  std::vector<std::string> items;
  for (int i = 0; i < lstclass->count(); ++i) items.push_back(lstclass->item(i)->text().toStdString());
  return items;
}

void TFrmTavimo::SetCategoryItems(const std::vector<std::string>& items) {
  lstclass->clear();
  for (const std::string& item : items) lstclass->addItem(QString::fromStdString(item));
}

void TFrmTavimo::SetCategoryIndex(int index) { lstclass->setCurrentRow(index); }

void TFrmTavimo::SetRootFieldText(const std::string& text) {
  edtdowndir->setText(QString::fromStdString(text));
}

}  // namespace tavimo
