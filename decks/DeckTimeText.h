#pragma once

#include <QString>

// The text of a deck's time label: "(A) 01:23/04:05" for position 83 500 ms
// and length 245 000 ms. Minutes are not limited to two digits.
QString deckTimeText(char deck, int positionMs, int lengthMs);
