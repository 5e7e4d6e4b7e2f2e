#pragma once
// Registering a widget as a drop target: Qt's drag events on that widget are taken before the
// widget sees them (so a QLineEdit never inserts dropped text itself) and handed to a DropSite
// as enter / over / leave / drop calls with the drop effects as bits.
#include <QPoint>
#include <cstdint>

#include "compat/DragData.h"
#include "compat/ShiftState.h"

class QWidget;

namespace tavimo {

// Drop effects; the values equal Qt's CopyAction, MoveAction and LinkAction.
inline constexpr std::uint32_t kDropEffectNone = 0;
inline constexpr std::uint32_t kDropEffectCopy = 1;
inline constexpr std::uint32_t kDropEffectMove = 2;
inline constexpr std::uint32_t kDropEffectLink = 4;

class DropSite {
 public:
  virtual ~DropSite() = default;
  // Points are in the widget's coordinates. `effect` comes in as the effects the source allows
  // and goes out as the one to perform (none refuses). DragEnter returns false to refuse the
  // drag; DragLeave or Drop then never follow.
  virtual bool DragEnter(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) = 0;
  virtual void DragOver(unsigned keys, QPoint point, std::uint32_t& effect) = 0;
  virtual void DragLeave() = 0;
  virtual void Drop(const DragDataSource& data, unsigned keys, QPoint point, std::uint32_t& effect) = 0;
};

// False when the widget is null or already has a drop site.
bool RegisterDragDrop(QWidget* widget, DropSite* site);
// False when the widget is null or its drop site is not this one. The widget's own drop
// handling (acceptDrops) is as it was before the registration.
bool RevokeDragDrop(QWidget* widget, DropSite* site);

}  // namespace tavimo
