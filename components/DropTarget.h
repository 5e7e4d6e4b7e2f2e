#pragma once
// A drop target attached to one widget: it chooses the drop effect from the allowed drag types
// and the keys held, and raises the drag events. What the drag carries is the business of a
// subclass (DoGetData, ClearData, HasValidFormats).
//
// The drag picture: the X11 source draws its own drag pixmap under the pointer while it moves
// over us (Qt does so for its drags, the browsers for theirs), so ShowImage adds nothing
// visible; it is kept for the layout's sake.
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>

#include "compat/ShiftState.h"
#include "desktop/DropRegistration.h"

namespace tavimo {

enum TDragType { dtCopy, dtMove, dtLink };
using TDragTypes = std::set<TDragType>;

class TDropTarget;
// Sender, keys held, pointer in Target's coordinates, drop effect (the handler may change it).
using TDropTargetEvent =
    std::function<void(TDropTarget& sender, TShiftState shift, QPoint point, std::uint32_t& effect)>;
using TDropTargetNotifyEvent = std::function<void(TDropTarget& sender)>;

// "Failed to Register <name>" / "Failed to Unregister <name>".
class EDropTargetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDropTarget : public DropSite {
 public:
  TDropTarget();
  ~TDropTarget() override;
  TDropTarget(const TDropTarget&) = delete;
  TDropTarget& operator=(const TDropTarget&) = delete;

  TDragTypes Dragtypes = {dtCopy, dtMove, dtLink};
  bool GetDataOnEnter = false;
  bool ShowImage = true;
  TDropTargetEvent OnEnter;
  TDropTargetEvent OnDragOver;
  TDropTargetNotifyEvent OnLeave;
  TDropTargetEvent OnDrop;
  TDropTargetEvent OnGetDropEffect;

  QWidget* Target() const { return target_; }
  // Unregisters the previous widget, registers the new one; null only unregisters. Throws
  // EDropTargetError when either step is refused (the widget already has another drop target,
  // or this one's registration was taken away).
  void SetTarget(QWidget* target);

  // The effect to show and perform for the effects the source allows.
  virtual std::uint32_t GetDropEffect(TShiftState shift, QPoint point, std::uint32_t allowed);

  // DropSite: the sequence the platform drives (the tests drive it with fake data too).
  bool DragEnter(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) override;
  void DragOver(unsigned keys, QPoint point, std::uint32_t& effect) override;
  void DragLeave() override;
  void Drop(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) override;

 protected:
  virtual bool DoGetData() = 0;
  virtual void ClearData() = 0;
  virtual bool HasValidFormats() = 0;

  // The data of the drag in progress; null outside a drag.
  const DragDataSource* DataObject() const { return data_; }

 private:
  // A source that offers copy but no link (Qt's default drag, terminals, editors) is taken as
  // offering the link too, and a link chosen then is performed as copy: reading a dragged
  // address leaves the source untouched either way, whereas move would tell the source to
  // delete what was dragged. Whatever a handler leaves, the source is told only what it offers.
  static std::uint32_t Widen(std::uint32_t offered);
  static std::uint32_t Narrow(std::uint32_t effect, std::uint32_t offered);

  QPointer<QWidget> target_;
  const DragDataSource* data_ = nullptr;
  QPoint lastPoint_;
};

}  // namespace tavimo
