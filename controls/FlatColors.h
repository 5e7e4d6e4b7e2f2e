#pragma once
// Colours of the flat controls. Layouts and settings carry colours as 24-bit values with red in
// the low byte and blue in the high byte; these helpers turn them into QColor and back.
#include <QColor>
#include <cstdint>

namespace tavimo {

inline QColor FromTColor(std::uint32_t bgr) {
  return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

inline std::uint32_t ToTColor(const QColor& c) {
  return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

// The values the flat controls start with.
inline constexpr std::uint32_t kFlatFrameColor = 8623776;        // 160, 150, 131
inline constexpr std::uint32_t kFlatBarColor = 10053171;         // 51, 102, 153
inline constexpr std::uint32_t kTitleInactiveText = 8559266;     // 162, 154, 130
inline constexpr std::uint32_t kHintArrowBackground = 13540451;  // 99, 156, 206

}  // namespace tavimo
