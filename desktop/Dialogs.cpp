#include "desktop/Dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

namespace tavimo {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void QtDialogs::ShowMessage(QWidget* owner, const std::string& caption, const std::string& text,
                            MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, Q(caption),
                  Q(text), QMessageBox::Ok, owner);
  box.exec();
}

int QtDialogs::ExecModal(QDialog& dialog) { return dialog.exec(); }

std::optional<std::string> QtDialogs::BrowseForFolder(QWidget* owner, const std::string& title) {
  const QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  const QString chosen = QFileDialog::getExistingDirectory(owner, Q(title), start, QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  std::string path = chosen.toStdString();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool QtDialogs::ShellOpen(const std::string& target) {
  if (target.empty()) return false;
  const QString t = Q(target);
  // A local path is opened as a file; anything with a scheme is handed over as it stands.
  const QUrl url = t.startsWith('/') ? QUrl::fromLocalFile(t) : QUrl(t);
  return QDesktopServices::openUrl(url);
}

}  // namespace tavimo
