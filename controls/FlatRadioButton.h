#pragma once
// A radio button in the flat two-colour look: a circle with a one-pixel border and a dot.
#include <QRadioButton>

#include "controls/FlatToggle.h"

namespace tavimo {

class TFlatRadioButton : public TFlatToggle<QRadioButton> {
 public:
  using TFlatToggle::TFlatToggle;

 protected:
  void PaintIndicator(QPainter& p) override;
};

}  // namespace tavimo
