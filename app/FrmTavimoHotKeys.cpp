// The global hot keys F7 and F6, the private message 0x464 and the nudge of a second start.
#include "app/FrmTavimo.h"
#include "controls/FlatEdit.h"
#include "desktop/HandlerGuard.h"

namespace tavimo {
namespace {

// A second start presses F7 and then sends its nudge; both arrive within milliseconds, the
// press first. Within this window the two are one request.
constexpr std::chrono::milliseconds kOneRequest{500};

bool Recent(const std::optional<std::chrono::steady_clock::time_point>& when) {
  return when && std::chrono::steady_clock::now() - *when < kOneRequest;
}

}  // namespace

void TFrmTavimo::RegisterHotKeys() {
  if (!hotKeys_)
    hotKeys_ =
        std::make_unique<HotKeys>([this](int vk) { RunGuarded(dialogs_, [this, vk] { WMHotKey(vk); }); });
  if (!messages_)
    // It also keeps the class on the window, which Qt replaces when the preview's web view
    // first appears: other programs and a second start find the window by that class.
    messages_ = std::make_unique<X11Message>(*this, "tavimo", kMainWindowClass,
                                             [this](long message, MessageSender from) {
                                               if (message != kPrivateMessage) return;
                                               RunGuarded(dialogs_, [this, from] {
                                                 if (from == MessageSender::SecondStart) SecondStartNudge();
                                                 else WMPrivate464();
                                               });
                                             });
  // A key another program holds simply never reaches us; that is not reported.
  hotKeys_->Register(VK_F7);
  hotKeys_->Register(VK_F6);
  hotKeysRegistered_ = true;
  UpdateTrayHint();
}

void TFrmTavimo::UnregisterHotKeys() {
  if (hotKeys_) {
    hotKeys_->Unregister(VK_F7);
    hotKeys_->Unregister(VK_F6);
  }
  hotKeysRegistered_ = false;
}

bool TFrmTavimo::HotKeyActive(int vk) const { return hotKeys_ && hotKeys_->IsRegistered(vk); }

std::vector<int> TFrmTavimo::ActiveHotKeys() const {
  return hotKeys_ ? hotKeys_->Registered() : std::vector<int>{};
}

void TFrmTavimo::WMHotKey(int vk) {
  if (vk == VK_F7) {
    // The press of a second start whose nudge has already acted: the request is done.
    if (Recent(lastNudgeF7_)) {
      lastNudgeF7_.reset();
      return;
    }
    lastHotKeyF7_ = std::chrono::steady_clock::now();
    F7Action();
  } else if (vk == VK_F6) {
    if (isVisible()) {
      HideWindow();
    } else {
      show();
      WarmPlayer();
    }
  }
}

void TFrmTavimo::F7Action() {
  if (isVisible()) {
    HideAndClear();
    return;
  }
  ShowMainWindow();
  ScanAfterCapture();
}

void TFrmTavimo::WMPrivate464() {
  // A hidden window cannot take the focus: the message then shows it and scans, as F7 does,
  // so whoever sends it gets the page in front scanned either way.
  if (!isVisible()) {
    ShowMainWindow();
    ScanAfterCapture();
    return;
  }
  CaptureBrowserAddress();
  edturl->setFocus();
  edturl->selectAll();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TFrmTavimo::SecondStartNudge() {
  // The second start's F7 press reaches us only while we hold F7; when it did, it has acted
  // already (it arrives before the nudge) and the nudge is dropped.
  if (Recent(lastHotKeyF7_)) {
    lastHotKeyF7_.reset();
    return;
  }
  lastNudgeF7_ = std::chrono::steady_clock::now();
  F7Action();
}

}  // namespace tavimo
