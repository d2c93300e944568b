#pragma once

#include "mixer/PixelRect.h"

#include <QColor>
#include <QImage>

// Pixel-exact drawing on an RGB32 image with exclusive right/bottom edges,
// row by row through scanLine; everything is clipped to the image. The meter
// and the slider drew this way before they drew with QPainter: the tests draw
// the pictures the controls must still show with it.
namespace pixels {

void fillRect(QImage& image, int left, int top, int right, int bottom, QRgb colour);
void setPixel(QImage& image, int x, int y, QRgb colour);
// Outline of the rectangle, one pixel wide, inside its edges.
void frameRect(QImage& image, const PixelRect& r, QRgb colour);
// Gradient from a to b in n steps of (b - a) / n per channel, n being the width
// (acrossX: columns change from left to right) or the height (rows from top to
// bottom); each line takes the rounded (halves to even) running values, so the
// last line stops one step short of b.
void fillGradient(QImage& image, const PixelRect& r, QColor a, QColor b, bool acrossX);

} // namespace pixels
