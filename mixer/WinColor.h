#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

// Colour values as the window's stored design holds them: low byte red, then
// green, then blue; a value whose high byte is 0xFF names a system colour.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clBtnFace = 0xFF00000F;

// Turns a stored colour into a Qt colour; system colours come from the palette
// (button face is the only one the controls use; others fall back to the window colour).
QColor ToQColor(TColor c, const QPalette& palette = QPalette());

// The stored form of a plain Qt colour (alpha dropped).
TColor FromQColor(const QColor& c);
