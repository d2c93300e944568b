#pragma once

#include "mixer/LevelMeter.h"

// The mixer panel's level meter `inputMeter`: 25 x 281, black background,
// scale -50..0 dB with the high band from -10 and the medium band from -20,
// high colour 0xFFFF80, medium and low blue, one column.
void applyInputMeterDesign(LevelMeter& meter);
LevelMeter* createInputMeter(QWidget* parent);
