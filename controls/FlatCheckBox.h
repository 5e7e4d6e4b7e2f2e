#pragma once
// A check box in the flat two-colour look: a square with a one-pixel border and a tick.
#include <QCheckBox>

#include "controls/FlatToggle.h"

namespace tavimo {

class TFlatCheckBox : public TFlatToggle<QCheckBox> {
 public:
  using TFlatToggle::TFlatToggle;

 protected:
  void PaintIndicator(QPainter& p) override;
};

}  // namespace tavimo
