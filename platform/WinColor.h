#pragma once

#include <QColor>
#include <cstdint>

// Colours are kept as the 32-bit values the design uses: low byte red, then
// green, then blue (0xFCD9A9 is red 0xA9, green 0xD9, blue 0xFC).
inline QColor fromWinColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

namespace wincolor {
inline constexpr uint32_t kText = 0xFCD9A9;  // the program's text colour
inline constexpr uint32_t kPanel = 0x2A2A2A; // panels holding editing controls
inline constexpr uint32_t kGrey = 0x808080;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kTagEditorText = 0xFFFF80;
} // namespace wincolor
