#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

// Colour values as the window's stored design holds them: low byte red, then
// green, then blue; a value whose high byte is 0xFF names a system colour.
using StoredColour = std::uint32_t;

constexpr StoredColour clBlack = 0x000000;
constexpr StoredColour clGray = 0x808080;
constexpr StoredColour clSilver = 0xC0C0C0;
constexpr StoredColour clRed = 0x0000FF;
constexpr StoredColour clLime = 0x00FF00;
constexpr StoredColour clYellow = 0x00FFFF;
constexpr StoredColour clBlue = 0xFF0000;
constexpr StoredColour clBtnFace = 0xFF00000F;

// Turns a stored colour into a Qt colour; system colours come from the palette
// (button face is the only one the controls use; others fall back to the window colour).
QColor toQColor(StoredColour c, const QPalette& palette = QPalette());

// The stored form of a plain Qt colour (alpha dropped).
StoredColour fromQColor(const QColor& c);
