#pragma once

#include "mixer/GradientSlider.h"

#include <utility>
#include <vector>

// The colours a named scheme writes, as (colour index, value) pairs: the
// scheme's own colours plus the shared back colour and disabled set.
// csCustom has none.
std::vector<std::pair<int, StoredColour>> schemeColors(GradientSlider::ColourScheme scheme);
