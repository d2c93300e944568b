#pragma once

#include "mixer/XiTrackBar.h"

#include <utility>
#include <vector>

// The colours a named scheme writes, as (colour index, value) pairs: the
// scheme's own colours plus the shared back colour and disabled set.
// csCustom has none.
std::vector<std::pair<int, TColor>> SchemeColors(TXiTrackBar::TColorScheme scheme);
