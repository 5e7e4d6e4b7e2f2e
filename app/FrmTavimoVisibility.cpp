// Whether a hidden window can come back, and hiding that never strands the user: with no tray
// host and no hot key, the hide paths minimise the window to the taskbar instead. The tray tip
// says which keys are ours, so a key taken by another program is never a silent dead end.
#include "app/FrmTavimo.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatPanel.h"

namespace tavimo {

bool TFrmTavimo::WayBackAvailable() const {
  const bool tray = RxTrayIcon1 && RxTrayIcon1->Added() && RxTrayIcon1->HostAvailable();
  return tray || HotKeyActive(VK_F7) || HotKeyActive(VK_F6);
}

void TFrmTavimo::HideWindow() {
  if (WayBackAvailable()) {
    hide();
  } else {
    showMinimized();
  }
}

std::string TrayHintForKeys(bool f7, bool f6) {
  if (f7) return "Press F7 to Show/Hide MainForm";
  if (f6) return "Press F6 to Show/Hide MainForm (F7 is used by another program)";
  return "Double-click to show Tavimo (F7 and F6 are used elsewhere)";
}

void TFrmTavimo::UpdateTrayHint() {
  if (RxTrayIcon1) RxTrayIcon1->SetHint(TrayHintForKeys(HotKeyActive(VK_F7), HotKeyActive(VK_F6)));
}

void TFrmTavimo::ShowStatus(const std::string& text) {
  statubar->SetCaption(QString::fromStdString(text));
  statubar->show();
}

}  // namespace tavimo
