#pragma once
// The keys and mouse buttons held during a mouse or drag event, as a set of bits; the
// tray and drop events share it.

namespace tavimo {

using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;
inline constexpr TShiftState ssLeft = 8;
inline constexpr TShiftState ssRight = 16;
inline constexpr TShiftState ssMiddle = 32;
inline constexpr TShiftState ssDouble = 64;  // the notification was a double click

}  // namespace tavimo
