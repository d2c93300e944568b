#pragma once

#include "mixer/GradientSlider.h"

// The mixer panel's four sliders share one stored design: 50 x 280, vertical
// (0 at the top), Min 0, Frequency 1, no ticks, smoothed corners, dark custom
// colours. Only Max differs.
namespace mixer_sliders {

constexpr int kDeckMax = 1000;  // deckALevel, deckBLevel
constexpr int kMasterMax = 100; // masterLevel
constexpr int kMicMax = 65535;  // micLevel
constexpr int kWidth = 50;
constexpr int kHeight = 280;

// Applies the stored design to an existing slider, in the order a stored form
// loads it: size, colours, then colorScheme, position, minimum, maximum,
// frequency, tickStyle, tickMarks, orientation. The position is left at 0.
void applyDesign(GradientSlider& slider, int max);

// Creates a slider as a child of parent with the stored design applied.
// Usage in MainWindow: deckALevel = mixer_sliders::create(mixerBox, mixer_sliders::kDeckMax);
//   deckALevel->move(x, y);
//   connect(deckALevel, &GradientSlider::sliderMoved, ...setDeckLevel(Deck::A, ...));
GradientSlider* create(QWidget* parent, int max);

} // namespace mixer_sliders
