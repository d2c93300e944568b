#pragma once

#include "platform/audio/StereoFrame.h"

#include <cstdint>

namespace audio {

// Deck volume 0..1000 to linear gain: gain = sin(volume / 1000 * pi / 2).
//
// The cross-fade moves the outgoing deck down and the incoming deck up in
// steps of 100, so the two volumes always add up to 1000 (v and 1000 - v).
// With this law the two gains are sin and cos of the same angle: their
// squares add up to 1, so two uncorrelated tracks of equal level keep their
// summed power exactly (0 dB) at every step of the fade, where the former
// square law dipped by 9 dB in the middle. The price is the middle of the
// volume scale: for any law that keeps a fade within 1 dB, volume 500 must be
// between -2 and -4 dB (2 * gain(500)^2 is the summed power at the middle
// step), so volume 500 cannot also sound "half as loud".
//
// The deck sliders therefore do not set the volume directly: a slider's level
// goes through SliderLevelToVolume, which keeps the slider's feel of gain =
// (level / 1000)^2 (its middle is -12 dB, a tenth of the way up -40 dB).
// 0 stays true silence and 1000 full gain on both scales. Values outside
// 0..1000 are clamped.
float volumeToGain(int volume);

// A deck slider's level 0..1000 (0 silent, 1000 full) to the deck volume
// whose gain is (level / 1000)^2, rounded to the nearest volume.
int sliderLevelToVolume(int level);

// Moves a gain to a new target in equal steps over a fixed number of frames,
// so that a volume change never jumps between two samples (the cross-fade
// changes volumes in steps of 100). Owned by the thread that mixes.
// One deck's course through a cross-fade, on the deck's own sample timeline:
// its volume moves by kStepVolume every stepFrames (kStepFrames, one second,
// unless the hand-over asks for a shorter or longer fade) from the fade's
// start until it reaches 0 (direction -1) or 1000 (+1), and between two
// steps the gain glides sample by sample towards the next step's value,
// reaching it on the step. elapsed counts the deck's frames since the start.
// A plan of stepFrames 0 has no length: the volume is reached at once.
struct FadePlan {
    static constexpr int kStepVolume = 100;
    static constexpr std::int64_t kStepFrames = kOutputRate;

    int from = 0;
    int direction = 0;
    std::int64_t stepFrames = kStepFrames;

    // The volume setting in force: from until the first step.
    int volumeAt(std::int64_t elapsed) const;
    // The planned linear gain (before the track's own gain).
    float gainAt(std::int64_t elapsed) const;
    // Frames from the start to the last step.
    std::int64_t lengthFrames() const;
};

class GainRamp {
public:
    static constexpr int kRampFrames = 441; // 10 ms at 44.1 kHz

    void jump(float gain); // sets the gain at once (a deck that starts)
    void setTarget(float target);
    float next(); // the gain for the next frame
    float current() const { return current_; }
    bool ramping() const { return remaining_ > 0; }

private:
    float current_ = 0.0f;
    float target_ = 0.0f;
    float step_ = 0.0f;
    int remaining_ = 0;
};

} // namespace audio
