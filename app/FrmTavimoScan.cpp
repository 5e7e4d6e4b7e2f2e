// The page scan as the main window starts it: the Go button, Enter and mouse moves in the
// address field, dropped links. The scan itself is TPageScan's.
#include "app/FrmTavimo.h"
#include "app/FrmTavimoPorts.h"
#include "controls/FlatEdit.h"

namespace tavimo {

void TFrmTavimo::butgoClick() { scan_->butgoClick(); }

void TFrmTavimo::Timer2Timer() { scan_->Timer2Timer(); }

void TFrmTavimo::edturlKeyDown(int key) {
  if (key == 13) butgoClick();
}

void TFrmTavimo::edturlMouseMove() {
  edturl->setFocus();
  edturl->selectAll();
}

void TFrmTavimo::DropURLTarget1Drop(const std::string& url, const std::string& title) {
  // Not yet wired: the drop target that raises this arrives later. A drop only fills the field.
  edturl->setText(QString::fromStdString(url));
  edturl->setToolTip(QString::fromStdString(title));
}

}  // namespace tavimo
