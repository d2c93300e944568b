#pragma once

#include <cstdint>

class QWidget;

// Gives a widget the design's background and text colours (BGR values, see
// WinColor.h) for its window, base and button roles, and fills its background.
void paintWidget(QWidget* widget, uint32_t background, uint32_t text);
