#pragma once

namespace tavimo {

// Presses and releases F7 on the X display named by $DISPLAY through the XTEST extension.
// Results are not examined: without a display, or without XTEST, nothing happens.
void SynthesiseF7Press();

}  // namespace tavimo
