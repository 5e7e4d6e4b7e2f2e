#include "desktop/DropRegistration.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QWidget>
#include <memory>
#include <unordered_map>

namespace tavimo {
namespace {

class DropBridge;
// Which widget has which bridge; only the user-interface thread touches it.
std::unordered_map<const QWidget*, DropBridge*>& Bridges() {
  static std::unordered_map<const QWidget*, DropBridge*> bridges;
  return bridges;
}

unsigned KeysOf(const QDropEvent& e) {
  unsigned keys = 0;
  const Qt::KeyboardModifiers mods = e.modifiers();
  const Qt::MouseButtons buttons = e.buttons();
  if (mods & Qt::ShiftModifier) keys |= ssShift;
  if (mods & Qt::AltModifier) keys |= ssAlt;
  if (mods & Qt::ControlModifier) keys |= ssCtrl;
  if (buttons & Qt::LeftButton) keys |= ssLeft;
  if (buttons & Qt::RightButton) keys |= ssRight;
  if (buttons & Qt::MiddleButton) keys |= ssMiddle;
  return keys;
}

std::uint32_t EffectsOf(Qt::DropActions actions) {
  return static_cast<std::uint32_t>(actions.toInt()) & (kDropEffectCopy | kDropEffectMove | kDropEffectLink);
}

// The site gives one effect; should a handler leave several, the source's own proposal wins
// among them, then copy, link, move.
void Answer(QDropEvent& e, std::uint32_t effect) {
  Qt::DropAction action = Qt::IgnoreAction;
  if (effect & EffectsOf(e.proposedAction())) {
    action = e.proposedAction();
  } else {
    for (Qt::DropAction a : {Qt::CopyAction, Qt::LinkAction, Qt::MoveAction}) {
      if (effect & EffectsOf(a)) {
        action = a;
        break;
      }
    }
  }
  e.setDropAction(action);
  e.setAccepted(action != Qt::IgnoreAction);
}

class DropBridge : public QObject {
 public:
  DropBridge(QWidget* widget, DropSite* site)
      : QObject(widget), widget_(widget), site_(site), hadAcceptDrops_(widget->acceptDrops()) {
    Bridges()[widget] = this;
    widget->installEventFilter(this);
    widget->setAcceptDrops(true);
  }
  // Runs as a child when the widget goes, or from RevokeDragDrop.
  ~DropBridge() override { Bridges().erase(widget_); }

  DropSite* Site() const { return site_; }
  void Restore() {
    widget_->removeEventFilter(this);
    widget_->setAcceptDrops(hadAcceptDrops_);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != widget_) return false;
    switch (event->type()) {
      case QEvent::DragEnter: {
        auto& e = *static_cast<QDragEnterEvent*>(event);
        data_ = std::make_unique<MimeDragData>(e.mimeData());
        std::uint32_t effect = EffectsOf(e.possibleActions());
        // Held before the site runs its handlers, so a handler that throws still gets its leave.
        inDrag_ = true;
        inDrag_ = site_->DragEnter(*data_, KeysOf(e), e.position().toPoint(), effect);
        if (!inDrag_) data_.reset();
        Answer(e, inDrag_ ? effect : kDropEffectNone);
        return true;
      }
      case QEvent::DragMove: {
        // Qt goes on sending moves to a widget that refused the enter: they stay refused.
        auto& e = *static_cast<QDragMoveEvent*>(event);
        std::uint32_t effect = EffectsOf(e.possibleActions());
        if (inDrag_) site_->DragOver(KeysOf(e), e.position().toPoint(), effect);
        Answer(e, inDrag_ ? effect : kDropEffectNone);
        return true;
      }
      case QEvent::DragLeave:
        if (inDrag_) {
          inDrag_ = false;
          site_->DragLeave();
          data_.reset();
        }
        return true;
      case QEvent::Drop: {
        auto& e = *static_cast<QDropEvent*>(event);
        std::uint32_t effect = EffectsOf(e.possibleActions());
        if (inDrag_) {
          inDrag_ = false;
          const MimeDragData data(e.mimeData());
          site_->Drop(data, KeysOf(e), e.position().toPoint(), effect);
          data_.reset();
        } else {
          effect = kDropEffectNone;
        }
        Answer(e, effect);
        return true;
      }
      default: return false;
    }
  }

 private:
  QWidget* widget_;
  DropSite* site_;
  bool hadAcceptDrops_;
  bool inDrag_ = false;
  std::unique_ptr<MimeDragData> data_;
};

}  // namespace

bool RegisterDragDrop(QWidget* widget, DropSite* site) {
  if (!widget || !site || Bridges().count(widget)) return false;
  new DropBridge(widget, site);  // owned by the widget
  return true;
}

bool RevokeDragDrop(QWidget* widget, DropSite* site) {
  auto it = Bridges().find(widget);
  if (!widget || it == Bridges().end() || it->second->Site() != site) return false;
  DropBridge* bridge = it->second;
  bridge->Restore();
  delete bridge;
  return true;
}

}  // namespace tavimo
