#pragma once
// The look every small input dialog of the program shares: the desktop's sans-serif at 8 pt
// on the light-blue ground.
#include <QDialog>
#include <QFontDatabase>
#include <QPalette>

namespace tavimo {

inline void ApplyDialogLook(QDialog& dialog) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  dialog.setFont(font);
  dialog.setAutoFillBackground(true);
  QPalette pal = dialog.palette();
  pal.setColor(QPalette::Window, QColor(99, 156, 206));
  dialog.setPalette(pal);
}

}  // namespace tavimo
