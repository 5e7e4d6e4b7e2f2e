#include "components/DropTarget.h"

#include <QScopeGuard>

namespace tavimo {
namespace {

TShiftState ShiftStateOf(unsigned keys) {
  static constexpr struct {
    unsigned key;
    TShiftState shift;
  } kMap[] = {{ssShift, ssShift}, {ssAlt, ssAlt},     {ssCtrl, ssCtrl},
              {ssLeft, ssLeft},   {ssRight, ssRight}, {ssMiddle, ssMiddle}};
  TShiftState shift = 0;
  for (const auto& m : kMap) {
    if (keys & m.key) shift |= m.shift;
  }
  return shift;
}

std::uint32_t EffectOf(TDragType type) { return std::uint32_t{1} << type; }

}  // namespace

TDropTarget::TDropTarget() = default;

TDropTarget::~TDropTarget() {
  // A refusal here means the registration is no longer ours: nothing of this object stays
  // behind in the widget, so there is nothing to report.
  if (target_) RevokeDragDrop(target_, this);
}

void TDropTarget::SetTarget(QWidget* target) {
  if (target == target_) return;
  // A widget that is gone took its registration with it.
  if (target_ && !RevokeDragDrop(target_, this)) {
    throw EDropTargetError("Failed to Unregister " + target_->objectName().toStdString());
  }
  target_ = target;
  if (target && !RegisterDragDrop(target, this)) {
    throw EDropTargetError("Failed to Register " + target->objectName().toStdString());
  }
}

std::uint32_t TDropTarget::GetDropEffect(TShiftState shift, QPoint point, std::uint32_t allowed) {
  for (TDragType type : {dtCopy, dtMove, dtLink}) {
    if (!Dragtypes.count(type)) allowed &= ~EffectOf(type);
  }
  if (OnGetDropEffect) {
    OnGetDropEffect(*this, shift, point, allowed);
    return allowed;
  }
  const bool shiftHeld = shift & ssShift, ctrlHeld = shift & ssCtrl;
  if (shiftHeld && ctrlHeld && (allowed & kDropEffectLink)) return kDropEffectLink;
  if (shiftHeld && !ctrlHeld && (allowed & kDropEffectMove)) return kDropEffectMove;
  if (allowed & kDropEffectCopy) return kDropEffectCopy;
  if (allowed & kDropEffectMove) return kDropEffectMove;
  return allowed & kDropEffectLink;
}

std::uint32_t TDropTarget::Widen(std::uint32_t offered) {
  if ((offered & kDropEffectCopy) && !(offered & kDropEffectLink)) offered |= kDropEffectLink;
  return offered;
}

std::uint32_t TDropTarget::Narrow(std::uint32_t effect, std::uint32_t offered) {
  if ((effect & kDropEffectLink) && !(offered & kDropEffectLink))
    effect = (effect & ~kDropEffectLink) | kDropEffectCopy;
  return effect & offered;
}

bool TDropTarget::DragEnter(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) {
  ClearData();
  data_ = &data;
  if (!HasValidFormats()) {
    data_ = nullptr;
    effect = kDropEffectNone;
    return false;
  }
  if (GetDataOnEnter) DoGetData();
  const TShiftState shift = ShiftStateOf(keys);
  lastPoint_ = point;
  const std::uint32_t offered = effect;
  effect = GetDropEffect(shift, point, Widen(offered));
  if (OnEnter) OnEnter(*this, shift, point, effect);
  effect = Narrow(effect, offered);
  return true;
}

void TDropTarget::DragOver(unsigned keys, QPoint point, std::uint32_t& effect) {
  const TShiftState shift = ShiftStateOf(keys);
  const std::uint32_t offered = effect;
  effect = GetDropEffect(shift, point, Widen(offered));
  if (OnDragOver) OnDragOver(*this, shift, point, effect);
  effect = Narrow(effect, offered);
  lastPoint_ = point;
}

void TDropTarget::DragLeave() {
  ClearData();
  data_ = nullptr;
  if (OnLeave) OnLeave(*this);
}

void TDropTarget::Drop(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) {
  // The platform hands the same drag's data again; that is what a late DoGetData reads.
  data_ = &data;
  // The drag ends however the drop handler leaves.
  const auto end = qScopeGuard([this] {
    ClearData();
    data_ = nullptr;
  });
  const TShiftState shift = ShiftStateOf(keys);
  const std::uint32_t offered = effect;
  effect = GetDropEffect(shift, point, Widen(offered));
  if (!GetDataOnEnter && !DoGetData()) {
    effect = kDropEffectNone;
  } else if (OnDrop) {
    OnDrop(*this, shift, point, effect);
  }
  effect = Narrow(effect, offered);
}

}  // namespace tavimo
